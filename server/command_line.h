// SPDX-License-Identifier: Apache-2.0
// Readers of the values of corvio-server's options: each takes the whole text or refuses it,
// with an error that names the problem.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvio::server {

// The address `serve --listen` binds: a host (a name, an IPv4 address, or an IPv6 address
// without its brackets) and a port of 0 to 65535 (0: any free port), as decimal digits.
struct ListenAddress {
  std::string host;
  std::string port;
};

// Reads "HOST:PORT" or "[IPV6]:PORT". False, with *error set, when either part is missing or
// malformed, or the port is above 65535.
bool parse_listen(std::string_view text, ListenAddress* address, std::string* error);

// A whole decimal number from min to max.
bool parse_count(std::string_view text, uint64_t min, uint64_t max, uint64_t* value,
                 std::string* error);

// A time in seconds: digits, optionally with up to three decimals ("10", "0.5"), above 0 and at
// most max.
bool parse_seconds(std::string_view text, std::chrono::milliseconds max,
                   std::chrono::milliseconds* value, std::string* error);

// A size in bytes: digits, optionally followed by K, M or G (times 1024, 1024^2, 1024^3), from
// min to max bytes.
bool parse_size(std::string_view text, uint64_t min, uint64_t max, uint64_t* bytes,
                std::string* error);

}  // namespace corvio::server
