// SPDX-License-Identifier: Apache-2.0
#include "engine/block_store.h"

#include <algorithm>
#include <string>

#include "base/display.h"
#include "net/block_compress.h"
#include "net/connection.h"
#include "net/messages.h"
#include "util/md5_hex.h"

namespace corvio {
namespace {

// Progress, pause and cancel at every chunk.
ChunkSent chunk_progress(Run& run) {
  return [&run](uint32_t n) {
    run.ctx.display.set_file_bytes_sent(run.session.file_bytes_sent.add(n));
    run.wait_if_paused();
    return !run.session.cancelled();
  };
}

// The server's answers as they come over the connection, one request at a time, for a payload
// streamed from its file (the catalog), which is produced only once the server asks for it.
struct LiveExchange {
  Run& run;
  const SegKey& key;
  uint32_t length;
  StreamedPayload& streamed;
  StoreAttempt& record;  // what the server said, for the log when attempts keep failing

  bool held() { return record.held = seg_query(run.net, key, length) == 0; }
  StreamedPayload& payload() { return streamed; }
  StoreReply store_request(const StreamedPayload& payload) {
    return record.reply = seg_store_request(run.net, key, length, payload.compressed, payload.length);
  }
  bool upload(StreamedPayload& payload) {
    return record.stored = seg_upload(run.net, payload, chunk_progress(run)).stored;
  }
  void ref() { (void)seg_ref(run.net, key); }
};

// The answers a request window recorded for one attempt, met in the same order. The chunks
// were written as the window went; here each counts and passes the pause point, as it would
// have while it was sent.
struct RecordedExchange {
  Run& run;
  const BlockJob& job;
  const StoreAttempt& attempt;

  bool held() const { return attempt.held; }
  BlockPayload payload() const { return {nullptr, job.payload_length, job.compressed}; }
  StoreReply store_request(const BlockPayload&) const { return attempt.reply; }
  bool upload(const BlockPayload& payload) const {
    const ChunkSent chunk_sent = chunk_progress(run);
    for (uint32_t k = 0; k < attempt.chunks_sent; ++k) {
      const uint32_t offset = k * static_cast<uint32_t>(protocol::kChunk);
      if (!chunk_sent(std::min<uint32_t>(payload.length - offset, protocol::kChunk))) return false;
    }
    return attempt.stored;
  }
  void ref() const {}
};

template <typename Exchange>
int store(Run& run, uint32_t length, Exchange&& x) {
  BackupStats& stats = run.session.stats;
  ui::Display& display = run.ctx.display;

  display.set_segs_total(stats.segs_total.add(1));
  if (x.held()) {
    run.log(" exists.\n");
    x.ref();
    stats.bytes_duped.add(length);
    display.set_segs_duped(stats.segs_duped.add(1));
    return 0;
  }

  auto&& payload = x.payload();
  stats.bytes_stored.add(length);
  display.set_segs_stored(stats.segs_stored.add(1));
  stats.bytes_compressed.add(payload.length);
  display.set_bytes_compressed(stats.bytes_compressed);
  display.set_bytes_stored(stats.bytes_stored);

  switch (x.store_request(payload)) {
    case StoreReply::kHeld:
      run.log(" exists (blah!)\n");
      x.ref();
      return 0;
    case StoreReply::kSend:
      run.log(" upload... ");
      if (!x.upload(payload)) return 1;
      run.log("OK\n");
      x.ref();
      return 0;
    case StoreReply::kRefused:
      run.log(" Unknown error\n");
      return 1;
    case StoreReply::kFailed:
      break;
  }
  return 1;
}

// Failed attempts after which the log says why the block is not stored yet.
constexpr size_t kFailuresBeforeWhy = 3;

// The log line for a block (what) whose attempts keep failing, the last one as given.
std::string not_stored_yet(const std::string& what, const StoreAttempt& last) {
  const char* why = last.reply == StoreReply::kRefused ? "the server refused to store it"
                    : last.reply == StoreReply::kSend  ? "the server did not confirm its upload"
                                                       : "the server did not answer the request to store it";
  // A refusal ended its log record; the other failures leave it open.
  return std::string(last.reply == StoreReply::kRefused ? "" : "\n") + "Warning: " + what +
         " is not stored after " + std::to_string(kFailuresBeforeWhy) + " attempts: " + why +
         "; trying again.\n";
}

}  // namespace

int apply_store(Run& run, const BlockJob& job, size_t* applied, size_t upto) {
  while (*applied < upto) {
    const StoreAttempt& attempt = job.attempts[(*applied)++];
    if (store(run, job.length, RecordedExchange{run, job, attempt}) == 0) return 0;
    if (run.session.cancelled()) return 1;
    if (*applied == kFailuresBeforeWhy) {
      run.log(not_stored_yet("Block " + md5_to_hex(job.key), attempt));
    }
  }
  return 1;
}

int seg_store_streamed_retry(Run& run, const SegKey& key, uint32_t length,
                             StreamedPayload& payload) {
  StoreAttempt last;
  for (size_t failures = 1;; ++failures) {
    last = StoreAttempt{};
    if (store(run, length, LiveExchange{run, key, length, payload, last}) == 0) return 0;
    // A payload that could not be read fails the same way at every attempt.
    if (run.session.cancelled() || payload.failed()) return 1;
    if (failures == kFailuresBeforeWhy) run.log(not_stored_yet("The catalog", last));
    run.net.quit();
    (void)run.net.reconnect();  // a cancelled reconnection shows at the next cancel test
    run.net.set_status("Kicking Butt!");
  }
}

}  // namespace corvio
