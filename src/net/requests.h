// The backup requests: the run's profile and catalog numbers, the block operations and the
// upload of the run's catalog with its end-of-run record.
//
// Each request is sent, one reply is read, and when the reply is not the expected one the
// session is closed, reopened (Session::reconnect) and the same request bytes are sent again,
// until it succeeds or the run is cancelled. A failed exchange never ends a run by itself.
// Everything here runs on the backup worker thread, over an open Session.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "net/block_compress.h"
#include "net/seg_key.h"

namespace corvio {

class Session;

// 0 with run.profile_id set; 1 when the server does not know the profile (the session is
// then closed) or the run was cancelled.
int request_profile_id(Session& s);

// 0 with run.catalog_id set; 1 when the run was cancelled. A refusal is asked again.
int request_catalog_id(Session& s);

// 0 when the server holds the block of this digest and length; 1 when it does not, or when
// the run was cancelled.
int seg_query(Session& s, const SegKey& key, uint32_t length);

// Records that this run's catalog uses the block. 0 when recorded; 1 when the server does not
// hold the block, or when the run was cancelled.
int seg_ref(Session& s, const SegKey& key);

// Where seg_store takes the payload of the block from once the server has asked for it, when
// the caller has it compressed already (the block loop's read-ahead). It must describe the
// same block, and stay valid for the whole call; empty: the block is compressed on the spot.
using PayloadSource = std::function<BlockPayload()>;

// One attempt to make the server hold the block: a query, then either a reference or the
// upload (compressed when that saves a byte) and a reference. Counts the block's statistics
// and appends its outcome to the run log. 0 when the server holds the block afterwards.
int seg_store(Session& s, const SegKey& key, const uint8_t* data, uint32_t length,
              const PayloadSource& ready = {});

// seg_store, reconnecting and trying again after every failed attempt. 0 when stored or
// already held; 1 only when the run was cancelled. Each attempt counts its statistics.
int seg_store_retry(Session& s, const uint8_t* data, uint32_t length, const SegKey& key,
                    const PayloadSource& ready = {});

// A payload produced piece by piece instead of held in memory: the catalog, whose size grows
// with the number of files. Its wire length and form are set before the upload; write() hands
// it over from its start, in chunks of 1 to protocol::kChunk bytes, at every attempt, and
// stops with false when send() does. failed() tells that a write could not produce the payload
// (a local read failure), which no new attempt mends.
class StreamedPayload {
 public:
  virtual ~StreamedPayload() = default;
  virtual bool write(const std::function<bool(std::string_view)>& send) = 0;
  virtual bool failed() const = 0;

  uint32_t length = 0;  // bytes on the wire
  bool compressed = false;
};

// seg_store_retry for a streamed payload of a block of length bytes with digest key. 1 when
// the run was cancelled or the payload failed.
int seg_store_streamed_retry(Session& s, const SegKey& key, uint32_t length,
                             StreamedPayload& payload);

// Uploads the closed catalog file (run.catalog_path) as one block and sends the end-of-run
// record. 0 when both are done; 1 on a local read or memory failure (reported on standard
// output) or cancellation. The file is read twice rather than held in memory.
int catalog_upload(Session& s);

}  // namespace corvio
