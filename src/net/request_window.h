// SPDX-License-Identifier: Apache-2.0
// RequestWindow: the block requests of a run kept in flight on its one connection. Messages
// carry no request number, but they travel in order and the server answers them in order, so
// the next requests may go before the replies to earlier ones come back, as long as nothing
// is sent that depends on a reply not yet read (a block's data before the store reply that
// asks for it). The window sends each block's requests as a one-at-a-time run would, one
// after another as the replies come, and records what the server said; the engine applies
// those outcomes in the run's order (engine/pipeline.h). Nothing here writes the run log,
// moves a counter or fills a progress field.
//
// What the server says of a block depends on what it was sent before: a query for a digest
// that an earlier block of the run is about to store would come back "not held" too early.
// So a block's query waits while an earlier block of the same digest may still store it,
// unless the run has already seen the server hold that digest; and a "not held" answer that
// an earlier block's upload may have made stale (an unusual server) is asked again once that
// block is done. Answers that the server holds a block never go stale.
//
// A failed exchange, or a store request the server refuses, closes the session, reconnects
// with the connection's back-off and sends again, in their order, every request whose reply
// was not read: a query or reference as it was, a block whose store request or data was
// lost from its query again, as a new attempt. Worker thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "net/requests.h"
#include "net/seg_key.h"

namespace corvio {

class Connection;

// What the server said to one attempt at storing a block.
struct StoreAttempt {
  bool held = false;                      // the query said the server holds the block
  StoreReply reply = StoreReply::kFailed;  // otherwise, the store request's answer
  uint32_t chunks_sent = 0;               // payload chunks written before the upload ended
  bool stored = false;                    // MSG_SEG_STORED read
};

// One block's requests: kStore queries the block and stores it when the server lacks it,
// then references it; kRef only references it (a block replayed from the MD5 cache).
struct BlockJob {
  enum class Kind { kStore, kRef };
  Kind kind = Kind::kStore;
  SegKey key{};
  uint32_t length = 0;               // kStore: the block's length before compression
  std::vector<uint8_t> payload;      // kStore: the bytes to send, until the server has them
  uint32_t payload_length = 0;       // kStore: their count, kept after they are released
  bool compressed = false;
  std::vector<StoreAttempt> attempts;  // kStore: one per attempt, the last one current
  bool referenced = false;           // kRef: the server recorded the reference
  bool settled = false;              // the outcome is final: the engine may apply it

  // The window's own state.
  enum class Stage { kWaiting, kQuery, kParked, kStoreRequest, kUpload, kRef, kDone };
  Stage stage = Stage::kWaiting;
  uint64_t asked_at = 0;    // the message count when the current query or reference went
  bool may_store = false;   // its query went while the server was not known to hold the digest
};

class RequestWindow {
 public:
  // Up to most_jobs blocks on the wire and waiting to go, and up to most_payload bytes of
  // payloads held for them. most_jobs 1 is a one-at-a-time run.
  RequestWindow(Connection& net, uint32_t most_jobs, uint64_t most_payload);
  RequestWindow(const RequestWindow&) = delete;
  RequestWindow& operator=(const RequestWindow&) = delete;

  // Takes a block after every earlier one, and sends its first request when it may.
  void add(const std::shared_ptr<BlockJob>& job);
  // Reads the next reply and acts on it, sending what it calls for. False when the run was
  // cancelled, or gave up while reopening the session.
  [[nodiscard]] bool read_reply();
  // No more blocks until a reply has been read.
  bool full() const;
  // Nothing sent, nothing waiting.
  bool idle() const { return sent_.empty() && waiting_.empty() && parked_.empty() && !broken_; }

  // A payload buffer to fill, reusing one the window no longer needs.
  std::vector<uint8_t> spare_buffer();

 private:
  struct Sent {
    std::shared_ptr<BlockJob> job;
    BlockJob::Stage stage;
  };
  struct Digest {
    uint32_t active = 0;      // blocks of the digest added and not yet done
    uint32_t may_store = 0;   // of which may still store it
    bool held = false;        // the server was seen to hold it
    uint64_t uploaded_at = 0;  // the message count after the last upload of it
  };

  void send_waiting();
  void send_first(const std::shared_ptr<BlockJob>& job);
  void send_query(const std::shared_ptr<BlockJob>& job);
  void send_ref(const std::shared_ptr<BlockJob>& job);
  void send_upload(const std::shared_ptr<BlockJob>& job);
  // Writes one message; a failure marks the session broken, to be mended at the next read.
  void write(std::string_view message, bool more = false);

  // The reply to the front request, read into reply: false when it asks for the session to be
  // reopened.
  bool on_reply(const Sent& sent, std::string_view reply);
  // A "not held" answer or a refused reference: accepted, asked again, or parked until no
  // earlier block of the digest may still store it.
  void on_lacking(const std::shared_ptr<BlockJob>& job);
  bool lacking_is_final(const BlockJob& job);
  void no_longer_may_store(BlockJob& job);
  void release_payload(BlockJob& job);
  void done(BlockJob& job);
  // Closes the session, reopens it and sends again every request whose reply was not read.
  bool recover();

  Connection& net_;
  const uint32_t most_jobs_;
  const uint64_t most_payload_;
  std::deque<Sent> sent_;  // in wire order
  std::deque<std::shared_ptr<BlockJob>> waiting_;
  std::vector<std::shared_ptr<BlockJob>> parked_;
  std::unordered_map<SegKey, Digest, SegKeyHash> digests_;
  std::vector<std::vector<uint8_t>> spare_;
  uint32_t active_ = 0;  // blocks sent and not done
  uint64_t payload_bytes_ = 0;
  uint64_t messages_ = 0;
  bool broken_ = false;  // a write failed: the session is to be reopened
};

}  // namespace corvio
