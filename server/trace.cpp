#include "trace.h"

#include "net/protocol.h"
#include "util/hex.h"

namespace corvio::server {

std::unique_ptr<Trace> Trace::open(const std::string& path, std::string* error) {
  FileHandle file(std::fopen(path.c_str(), "a"));
  if (!file) {
    *error = "cannot open trace file " + path;
    return nullptr;
  }
  return std::unique_ptr<Trace>(new Trace(std::move(file)));
}

std::string Trace::line(uint64_t connection, std::string_view message) {
  using protocol::MSG_SEG_DATA;
  bool payload = message.size() >= 2 && static_cast<uint8_t>(message[0]) == MSG_SEG_DATA.cls &&
                 static_cast<uint8_t>(message[1]) == MSG_SEG_DATA.code;
  std::string text = std::to_string(connection) + " ";
  if (payload)
    return text + to_hex(message.substr(0, 2)) + " +" + std::to_string(message.size() - 2);
  return text + to_hex(message);
}

void Trace::record(uint64_t connection, std::string_view message) {
  std::string text = line(connection, message) + "\n";
  std::lock_guard lock(mu_);
  std::fwrite(text.data(), 1, text.size(), file_.get());
  std::fflush(file_.get());
}

}  // namespace corvio::server
