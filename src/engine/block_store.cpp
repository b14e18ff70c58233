// SPDX-License-Identifier: Apache-2.0
#include "engine/block_store.h"

#include "base/display.h"
#include "net/connection.h"

namespace corvio {
namespace {

// The block's payload compressed here, when the caller has none ready. The compressor
// (block_compress.cpp tells why it is libdeflate's at level 2, and why a block that looks
// incompressible is not compressed) is kept per thread, so a block costs no allocation; the
// result is valid until this thread's next call.
BlockPayload compress_here(const uint8_t* data, uint32_t length) {
  thread_local BlockCompressor compressor;
  if (compressor.compress(data, length)) {
    return {compressor.output(), compressor.output_length(), true};
  }
  return {data, length, false};
}

// Progress, pause and cancel at every chunk.
ChunkSent chunk_progress(Run& run) {
  return [&run](uint32_t n) {
    run.ctx.display.set_file_bytes_sent(run.session.file_bytes_sent.add(n));
    run.wait_if_paused();
    return !run.session.cancelled();
  };
}

// The payload is produced only once the server has said it lacks the block.
template <typename Payload>
int store(Run& run, const SegKey& key, uint32_t length, const Payload& get_payload) {
  BackupStats& stats = run.session.stats;
  ui::Display& display = run.ctx.display;

  display.set_segs_total(stats.segs_total.add(1));
  if (seg_query(run.net, key, length) == 0) {
    run.log(" exists.\n");
    (void)seg_ref(run.net, key);
    stats.bytes_duped.add(length);
    display.set_segs_duped(stats.segs_duped.add(1));
    return 0;
  }

  auto&& payload = get_payload();
  stats.bytes_stored.add(length);
  display.set_segs_stored(stats.segs_stored.add(1));
  stats.bytes_compressed.add(payload.length);
  display.set_bytes_compressed(stats.bytes_compressed);
  display.set_bytes_stored(stats.bytes_stored);

  switch (seg_store_request(run.net, key, length, payload.compressed, payload.length)) {
    case StoreReply::kHeld:
      run.log(" exists (blah!)\n");
      (void)seg_ref(run.net, key);
      return 0;
    case StoreReply::kSend:
      run.log(" upload... ");
      if (!seg_upload(run.net, payload, chunk_progress(run)).stored) return 1;
      run.log("OK\n");
      (void)seg_ref(run.net, key);
      return 0;
    case StoreReply::kRefused:
      run.log(" Unknown error\n");
      return 1;
    case StoreReply::kFailed:
      break;
  }
  return 1;
}

// Attempts until one succeeds, closing the session and reconnecting after each failed one. 1
// once the run is cancelled, or give_up() tells that no new attempt can succeed.
template <typename Attempt, typename GiveUp>
int with_retry(Run& run, const Attempt& attempt, const GiveUp& give_up) {
  for (;;) {
    if (attempt() == 0) return 0;
    if (run.session.cancelled() || give_up()) return 1;
    run.net.quit();
    (void)run.net.reconnect();  // a cancelled reconnection shows at the next cancel test
    run.net.set_status("Kicking Butt!");
  }
}

}  // namespace

int seg_store(Run& run, const SegKey& key, const uint8_t* data, uint32_t length,
              const PayloadSource& ready) {
  return store(run, key, length, [&] { return ready ? ready() : compress_here(data, length); });
}

int seg_store_retry(Run& run, const SegKey& key, const uint8_t* data, uint32_t length,
                    const PayloadSource& ready) {
  return with_retry(
      run, [&] { return seg_store(run, key, data, length, ready); }, [] { return false; });
}

int seg_store_streamed_retry(Run& run, const SegKey& key, uint32_t length,
                             StreamedPayload& payload) {
  return with_retry(
      run,
      [&] { return store(run, key, length, [&payload]() -> StreamedPayload& { return payload; }); },
      [&payload] { return payload.failed(); });
}

}  // namespace corvio
