// SPDX-License-Identifier: Apache-2.0
#include "trace.h"

#include "client_message.h"
#include "net/protocol.h"
#include "os.h"
#include "util/hex.h"

namespace corvio::server {

using protocol::kPasswordAt;

std::unique_ptr<Trace> Trace::open(const std::string& path, std::string* error) {
  std::string why;
  FileHandle file = open_private_append(path, &why);
  if (!file) {
    *error = "cannot open trace file " + path + " (" + why + ")";
    return nullptr;
  }
  return std::unique_ptr<Trace>(new Trace(std::move(file)));
}

std::string Trace::line(uint64_t connection, std::string_view message) {
  std::string text = std::to_string(connection) + " ";
  if (is_message(message, protocol::MSG_SEG_DATA))
    return text + to_hex(message.substr(0, 2)) + " +" + std::to_string(message.size() - 2);
  if (is_message(message, protocol::MSG_LOGIN) && message.size() > kPasswordAt) {
    size_t masked = std::min(kPasswordChars, message.size() - kPasswordAt);
    std::string mask;
    for (size_t i = 0; i < masked; ++i) mask += "xx";
    return text + to_hex(message.substr(0, kPasswordAt)) + mask +
           to_hex(message.substr(kPasswordAt + masked));
  }
  return text + to_hex(message);
}

void Trace::record(uint64_t connection, std::string_view message) {
  std::string text = line(connection, message) + "\n";
  std::lock_guard lock(mu_);
  std::fwrite(text.data(), 1, text.size(), file_.get());
  std::fflush(file_.get());
}

}  // namespace corvio::server
