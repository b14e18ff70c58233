// SPDX-License-Identifier: Apache-2.0
// The text form of a block's MD5 digest, as both local databases store it: 32 lower-case
// hexadecimal characters, high nibble first. The wire carries the 16 raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/md5.h"

namespace corvio {

inline constexpr size_t kMd5HexChars = 2 * kMd5Size;

// The MD5 digest of n bytes.
Md5Digest md5_digest(const void* data, size_t n);

// 16 bytes to 32 characters from "0123456789abcdef".
std::string md5_to_hex(const uint8_t* digest);
// The same into a buffer of kMd5HexChars characters (no terminator), for callers that must
// not allocate.
void md5_to_hex(const uint8_t* digest, char* out);
inline std::string md5_to_hex(const Md5Digest& digest) { return md5_to_hex(digest.data()); }

// The reverse, two characters per byte: '0'-'9' are worth 0-9 and any other character its code
// minus 87 ('a'-'f' give 10-15). Returns false, with the digest zeroed, unless hex is exactly 32
// characters of lower-case hexadecimal, so that a damaged stored value is never taken for a
// digest.
bool hex_to_md5(std::string_view hex, uint8_t* digest);
inline bool hex_to_md5(std::string_view hex, Md5Digest* digest) {
  return hex_to_md5(hex, digest->data());
}

}  // namespace corvio
