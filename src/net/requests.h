// SPDX-License-Identifier: Apache-2.0
// The backup requests: the run's profile and catalog numbers, the block operations and the
// end-of-run record. Each returns what came of it and nothing more: no request writes the run
// log, moves a counter or fills a progress field. The engine decides what to send and applies
// the outcomes (engine/block_store.h, engine/catalog_upload.h), so that it alone says what the
// run did, in the order the requests were made.
//
// request_profile_id, request_catalog_id, seg_query, seg_ref and catalog_finish each send their
// request, read one reply, and when the reply is not the expected one close the session,
// reopen it (Connection::reconnect) and send the same bytes again, until it succeeds or the run
// is cancelled: a failed exchange never ends a run by itself. seg_store_request and seg_upload
// are one exchange each; the engine retries the whole block around them. Everything here runs
// on the backup worker thread, over an open Connection.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "net/messages.h"
#include "net/seg_key.h"

namespace corvio {

class Connection;

// 0 with session.profile_id set; 1 when the server does not know the profile (the session is
// then closed) or the run was cancelled.
[[nodiscard]] int request_profile_id(Connection& s);

// 0 with session.catalog_id set; 1 when the run was cancelled. A refusal is asked again.
[[nodiscard]] int request_catalog_id(Connection& s);

// 0 when the server holds the block of this digest and length; 1 when it does not, or when
// the run was cancelled.
[[nodiscard]] int seg_query(Connection& s, const SegKey& key, uint32_t length);

// Records that this run's catalog uses the block. 0 when recorded; 1 when the server does not
// hold the block, or when the run was cancelled.
[[nodiscard]] int seg_ref(Connection& s, const SegKey& key);

// What the server said to a request to store a block.
enum class StoreReply {
  kSend,     // it lacks the block: the payload is to follow
  kHeld,     // it holds the block after all
  kRefused,  // another status
  kFailed,   // no reply, or not the expected one
};

// One MSG_SEG_STORE exchange for the block of length bytes with digest key, announcing a
// payload of payload_length bytes, compressed or raw.
[[nodiscard]] StoreReply seg_store_request(Connection& s, const SegKey& key, uint32_t length,
                                           bool compressed, uint32_t payload_length);

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

// Called after each chunk of a payload has been handed to the connection, with its length;
// false ends the upload (the run was cancelled).
using ChunkSent = std::function<bool(uint32_t chunk_length)>;

// What an upload came to. The bytes sent are counted by chunk_sent as they go.
struct [[nodiscard]] Upload {
  bool stored = false;  // every chunk sent and MSG_SEG_STORED read
};

// Sends the payload, after a store request the server answered with kSend, as MSG_SEG_DATA
// chunks, then reads MSG_SEG_STORED. Each chunk is one TLS record (the server takes each read
// of a chunk as the whole chunk); the records may wait in the connection's write buffer and
// leave together, since the server does not answer them one by one.
Upload seg_upload(Connection& s, StreamedPayload& payload, const ChunkSent& chunk_sent);

// Sends the end-of-run record. 0 when the server acknowledged it; 1 when the run was
// cancelled.
[[nodiscard]] int catalog_finish(Connection& s, const protocol::CatalogFinish& finish);

}  // namespace corvio
