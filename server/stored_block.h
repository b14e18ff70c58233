// SPDX-License-Identifier: Apache-2.0
// Reading a block back out of the store. The store keeps every block as its decoded bytes (a
// compressed payload is decompressed and checked before it is kept, see session.cpp), one file
// per block named by its MD5 digest and length (Store::block_path). Reading one back checks it
// again: the file must be there, hold exactly the key's length and have the key's digest, so
// that a block damaged or lost on disk after it was stored is found.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "block.h"

namespace corvio::server {

enum class BlockRead {
  kOk,
  kBad,         // missing or unreadable; *why tells which
  kDamaged,     // there, but of another length or another digest; *why tells which
  kSinkFailed,  // the sink refused a piece; the block itself may be fine
};

// Receives the block's bytes piece by piece, in order; false stops the read.
using BlockSink = std::function<bool(std::string_view)>;

// Reads the block file at path, handing each piece to sink (when given) as it is read, and
// checks the whole against key at the end. The pieces are handed on before the check, so the
// sink must hold what it got as unconfirmed until the result is kOk. Reads at most the key's
// length plus one byte, whatever the file's size, and needs no more memory than one piece.
BlockRead read_stored_block(const std::string& path, const BlockKey& key, const BlockSink& sink,
                            std::string* why);

// "md5hex, N bytes": how messages name a block.
std::string describe_block(const BlockKey& key);

}  // namespace corvio::server
