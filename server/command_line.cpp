// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

#include <algorithm>
#include <cctype>

namespace corvio::server {
namespace {

bool all_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// Digits into *value; false when there are none, something else, or more than max.
bool read_number(std::string_view digits, uint64_t max, uint64_t* value) {
  if (!all_digits(digits)) return false;
  uint64_t v = 0;
  for (char c : digits) {
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (v > (max - d) / 10) return false;
    v = v * 10 + d;
  }
  *value = v;
  return true;
}

}  // namespace

bool parse_listen(std::string_view text, ListenAddress* address, std::string* error) {
  std::string what = "--listen " + std::string(text) + ": ";
  std::string_view host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) {
      *error = what + "the IPv6 address has no closing bracket";
      return false;
    }
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (rest.empty() || rest.front() != ':') {
      *error = what + "no port after the address (give ADDR:PORT, as [::1]:5000)";
      return false;
    }
    port = rest.substr(1);
    if (host.empty()) {
      *error = what + "the brackets hold no address";
      return false;
    }
  } else {
    size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
      *error = what + "no port (give ADDR:PORT, as 127.0.0.1:5000)";
      return false;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) {
      *error = what + "an IPv6 address goes in brackets, as [::1]:5000";
      return false;
    }
    if (host.empty()) {
      *error = what + "no address before the port (0.0.0.0 or [::] listens on every address)";
      return false;
    }
  }
  if (host.find_first_of(" \t\r\n") != std::string_view::npos) {
    *error = what + "the address contains a blank";
    return false;
  }
  if (port.empty()) {
    *error = what + "no port after the colon";
    return false;
  }
  uint64_t value = 0;
  if (!all_digits(port)) {
    *error = what + "the port " + std::string(port) + " is not a number";
    return false;
  }
  if (!read_number(port, 65535, &value)) {
    *error = what + "the port " + std::string(port) + " is above 65535";
    return false;
  }
  address->host = std::string(host);
  address->port = std::to_string(value);
  return true;
}

bool parse_count(std::string_view text, uint64_t min, uint64_t max, uint64_t* value,
                 std::string* error) {
  uint64_t v = 0;
  if (!all_digits(text)) {
    *error = std::string(text) + " is not a whole number";
    return false;
  }
  if (!read_number(text, max, &v) || v < min) {
    *error =
        std::string(text) + " is not from " + std::to_string(min) + " to " + std::to_string(max);
    return false;
  }
  *value = v;
  return true;
}

bool parse_seconds(std::string_view text, std::chrono::milliseconds max,
                   std::chrono::milliseconds* value, std::string* error) {
  size_t dot = text.find('.');
  std::string_view whole = text.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  uint64_t seconds = 0;
  uint64_t millis = 0;
  bool ok = read_number(whole, 1'000'000, &seconds) &&
            (dot == std::string_view::npos || (fraction.size() <= 3 && all_digits(fraction)));
  if (!ok) {
    *error = std::string(text) + " is not a number of seconds (as 10 or 0.5)";
    return false;
  }
  std::string padded = std::string(fraction) + std::string(3 - fraction.size(), '0');
  read_number(padded, 999, &millis);
  std::chrono::milliseconds v(seconds * 1000 + millis);
  if (v.count() <= 0 || v > max) {
    *error = std::string(text) + " is not above 0 and at most " +
             std::to_string(max.count() / 1000) + " seconds";
    return false;
  }
  *value = v;
  return true;
}

bool parse_size(std::string_view text, uint64_t min, uint64_t max, uint64_t* bytes,
                std::string* error) {
  uint64_t unit = 1;
  std::string_view digits = text;
  if (!text.empty()) {
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
      case 'K':
        unit = 1ULL << 10;
        break;
      case 'M':
        unit = 1ULL << 20;
        break;
      case 'G':
        unit = 1ULL << 30;
        break;
      default:
        break;
    }
    if (unit != 1) digits.remove_suffix(1);
  }
  uint64_t v = 0;
  if (!read_number(digits, UINT64_MAX / unit, &v)) {
    *error = std::string(text) + " is not a size (bytes, or a number followed by K, M or G)";
    return false;
  }
  v *= unit;
  if (v < min || v > max) {
    *error = std::string(text) + " is not from " + std::to_string(min) + " to " +
             std::to_string(max) + " bytes";
    return false;
  }
  *bytes = v;
  return true;
}

}  // namespace corvio::server
