// SPDX-License-Identifier: Apache-2.0
// SegKey: a block's 16-byte MD5 digest, in the byte order the digest function produces. It
// travels raw on the wire; the local databases keep it as 32 lower-case hex characters
// (md5_to_hex), which is why it is the same type as the MD5 cache's digest.
#pragma once

#include <cstddef>
#include <cstring>

#include "util/md5_hex.h"

namespace corvio {

using SegKey = Md5Digest;

// A digest is uniformly spread already: its first bytes are a good hash.
struct SegKeyHash {
  size_t operator()(const SegKey& key) const {
    size_t h;
    std::memcpy(&h, key.data(), sizeof h);
    return h;
  }
};

}  // namespace corvio
