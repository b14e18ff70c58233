// SPDX-License-Identifier: Apache-2.0
// The block: the unit in which file contents are hashed, cached, recorded and stored. A file is
// cut into blocks of kBlockSize bytes from its start, the last one shorter (or absent for an
// empty file); each block is named by the MD5 digest of its bytes and its length. The client's
// block loop, the MD5 cache and the catalog's filespec rows record this one size, and the
// server tells a file's block from a catalog (uploaded as one block, which may be larger) by
// it, so it cannot differ between them.
#pragma once

#include <cstdint>

namespace corvio {

// 1 MiB: large enough that the per-block request costs little against the transfer, small
// enough that a change to a file resends little of it.
inline constexpr uint32_t kBlockSize = 1048576;

}  // namespace corvio
