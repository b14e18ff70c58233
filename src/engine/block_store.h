// SPDX-License-Identifier: Apache-2.0
// Storing one block of the run: a query, then either a reference or the upload (compressed
// when that saves a byte) and a reference, with the block's counters, its record in the run
// log and the Sent field applied here as each answer comes back. The wire exchanges are
// net/requests.h's; this is what the run makes of them.
//
// Effects in order: segs_total counts the attempt; a held block logs " exists.", is referenced
// and counts as duped. A lacking one counts as stored (bytes_stored, segs_stored and the
// payload's bytes_compressed, before anything is sent, so a block that needs another attempt
// counts again), then the store request's answer decides: held logs " exists (blah!)" and
// references it; send logs " upload... ", sends the chunks (each adds to the file's Sent count
// and passes the pause point) and, once stored, logs "OK" and references it; another status
// logs " Unknown error" and fails the attempt. Worker thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/run.h"
#include "net/block_compress.h"
#include "net/requests.h"
#include "net/seg_key.h"

namespace corvio {

// Where seg_store takes the payload of the block from once the server has asked for it, when
// the caller has it compressed already (the block loop's read-ahead). It must describe the
// same block, and stay valid for the whole call; empty: the block is compressed on the spot.
using PayloadSource = std::function<BlockPayload()>;

// One attempt. 0 when the server holds the block afterwards; 1 when the attempt failed or the
// run was cancelled.
[[nodiscard]] int seg_store(Run& run, const SegKey& key, const uint8_t* data, uint32_t length,
                            const PayloadSource& ready = {});

// seg_store, reconnecting and trying again after every failed attempt. 0 when stored or
// already held; 1 only when the run was cancelled. Each attempt counts its statistics.
[[nodiscard]] int seg_store_retry(Run& run, const SegKey& key, const uint8_t* data, uint32_t length,
                                  const PayloadSource& ready = {});

// seg_store_retry for a streamed payload of a block of length bytes with digest key. 1 when
// the run was cancelled or the payload failed.
[[nodiscard]] int seg_store_streamed_retry(Run& run, const SegKey& key, uint32_t length,
                                           StreamedPayload& payload);

}  // namespace corvio
