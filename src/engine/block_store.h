// SPDX-License-Identifier: Apache-2.0
// Storing one block of the run: a query, then either a reference or the upload (compressed
// when that saves a byte) and a reference, with the block's counters, its record in the run
// log and the Sent field applied here for each answer. The wire exchanges are net/'s (a request
// window's for the blocks of files, one request at a time for the catalog); this is what the
// run makes of them.
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

#include "engine/run.h"
#include "net/request_window.h"
#include "net/requests.h"
#include "net/seg_key.h"

namespace corvio {

// Applies what a request window recorded for one block (net/request_window.h), attempt by
// attempt from *applied (which counts them) up to upto, exactly as each would have been
// applied as its answers came. After the third failed attempt the log says why the block is
// not stored yet. 0 once an attempt stored the block or found it held; 1 otherwise (the
// attempts applied failed, or the run was cancelled).
[[nodiscard]] int apply_store(Run& run, const BlockJob& job, size_t* applied, size_t upto);

// Stores a streamed payload of a block of length bytes with digest key, one request at a time,
// reconnecting and trying again after every failed attempt (each counts its statistics; after
// the third the log says why). 0 when stored or already held; 1 when the run was cancelled or
// the payload failed.
[[nodiscard]] int seg_store_streamed_retry(Run& run, const SegKey& key, uint32_t length,
                                           StreamedPayload& payload);

}  // namespace corvio
