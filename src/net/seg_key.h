// SegKey: a block's 16-byte MD5 digest, in the byte order the digest function produces. It
// travels raw on the wire; the local databases keep it as 32 lower-case hex characters.
#pragma once

#include <array>
#include <cstdint>

namespace corvio {

using SegKey = std::array<uint8_t, 16>;

}  // namespace corvio
