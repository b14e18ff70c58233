// SPDX-License-Identifier: Apache-2.0
// Login passwords are kept as salted PBKDF2-HMAC-SHA256 hashes, never as plain text. The salt
// and the hash are stored as lower-case hexadecimal text.
#pragma once

#include <string>
#include <string_view>

namespace corvio::server {

struct PasswordHash {
  std::string salt;  // hex
  int iterations = 0;
  std::string hash;  // hex
};

inline constexpr int kPasswordIterations = 100000;

// A fresh random salt and the hash of password under it. Empty fields when the random source
// or the hash function failed.
PasswordHash hash_password(std::string_view password, int iterations = kPasswordIterations);

// True when password hashes to stored.hash under stored.salt (compared in constant time).
bool verify_password(std::string_view password, const PasswordHash& stored);

}  // namespace corvio::server
