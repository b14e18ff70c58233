// SPDX-License-Identifier: Apache-2.0
#include "log.h"

#include <cstdio>

namespace corvio::server {

std::string quote_for_log(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    switch (b) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20 || b >= 0x7F) {
          out += "\\x";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void log_line(const std::string& text) {
  std::string line = text + "\n";
  // One call on the stream, whose lock keeps the lines of different threads apart.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace corvio::server
