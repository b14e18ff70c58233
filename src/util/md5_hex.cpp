// SPDX-License-Identifier: Apache-2.0
#include "util/md5_hex.h"

#include <cstring>

#include "util/hex.h"

namespace corvio {

// Only an exhausted or broken system lets the digest fail; the result is then all zero.
Md5Digest md5_digest(const void* data, size_t n) {
  Md5Digest digest{};
  std::optional<Md5> md = Md5::start();
  if (!md || !md->update(data, n) || !md->finish(&digest)) digest.fill(0);
  return digest;
}

namespace {

bool is_lower_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

int nibble(char c) { return c >= '0' && c <= '9' ? c - '0' : c - 87; }

}  // namespace

std::string md5_to_hex(const uint8_t* digest) {
  return to_hex(std::string_view(reinterpret_cast<const char*>(digest), kMd5Size));
}

void md5_to_hex(const uint8_t* digest, char* out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < kMd5Size; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 15];
  }
}

bool hex_to_md5(std::string_view hex, uint8_t* digest) {
  std::memset(digest, 0, kMd5Size);
  if (hex.size() != kMd5HexChars) return false;
  for (char c : hex) {
    if (!is_lower_hex(c)) return false;
  }
  for (size_t i = 0; i < kMd5Size; ++i) {
    digest[i] = static_cast<uint8_t>(nibble(hex[2 * i]) * 16 + nibble(hex[2 * i + 1]));
  }
  return true;
}

}  // namespace corvio
