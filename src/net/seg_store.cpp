// Storing one block: the query, the upload in chunks, and the retry around it.
#include <algorithm>
#include <cstdio>

#include "base/backup_session.h"
#include "base/context.h"
#include "net/block_compress.h"
#include "net/messages.h"
#include "net/requests.h"
#include "net/session.h"

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

// Sends one MSG_SEG_DATA chunk in a TLS write of its own: the server takes each read of a chunk
// as the whole chunk, since the message does not carry its length. The chunks are not answered
// one by one, so their records may wait in the write buffer and leave together; the read of the
// stored reply sends what is left. Progress, pause and cancel are handled at every chunk. False
// when the write failed or the run was cancelled.
bool send_chunk(Session& s, std::string_view chunk) {
  if (s.send(protocol::encode_seg_data(chunk), /*more=*/true) <= 0) return false;
  s.ctx().display.set_file_bytes_sent(s.run().file_bytes_sent.add(chunk.size()));
  s.wait_if_paused();
  return !s.run().cancelled();
}

bool stored(Session& s) {
  char reply[protocol::kStoreReplyBuffer];
  int got = s.recv(reply, sizeof reply);
  return protocol::parse_seg_stored(std::string_view(reply, got > 0 ? got : 0));
}

// Sends the payload as MSG_SEG_DATA chunks and reads MSG_SEG_STORED. False when a chunk could
// not be sent, the run was cancelled, or the server did not confirm the block.
bool upload(Session& s, const BlockPayload& payload) {
  for (uint32_t offset = 0; offset < payload.length;) {
    uint32_t n = std::min<uint32_t>(payload.length - offset, protocol::kChunk);
    if (!send_chunk(s, std::string_view(reinterpret_cast<const char*>(payload.data) + offset, n))) {
      return false;
    }
    offset += n;
  }
  return stored(s);
}

bool upload(Session& s, StreamedPayload& payload) {
  return payload.write([&s](std::string_view chunk) { return send_chunk(s, chunk); }) &&
         stored(s);
}

// The payload is produced only once the server has said it lacks the block.
template <typename Payload>
int store(Session& s, const SegKey& key, uint32_t length, const Payload& get_payload) {
  BackupSession& run = s.run();
  BackupStats& stats = run.stats;
  ui::Display& display = s.ctx().display;

  display.set_segs_total(stats.segs_total.add(1));
  if (seg_query(s, key, length) == 0) {
    run.write_log(" exists.\n");
    (void)seg_ref(s, key);
    stats.bytes_duped.add(length);
    display.set_segs_duped(stats.segs_duped.add(1));
    return 0;
  }

  auto&& payload = get_payload();
  // Counted before anything is sent: a block that needs another attempt counts again.
  stats.bytes_stored.add(length);
  display.set_segs_stored(stats.segs_stored.add(1));
  stats.bytes_compressed.add(payload.length);
  display.set_bytes_compressed(stats.bytes_compressed);
  display.set_bytes_stored(stats.bytes_stored);

  char reply[protocol::kStoreReplyBuffer];
  int got = -1;
  if (s.send(protocol::encode_seg_store(key, length, payload.compressed, payload.length)) > 0) {
    got = s.recv(reply, sizeof reply);
  }
  std::optional<uint8_t> status =
      protocol::parse_seg_store_reply(std::string_view(reply, got > 0 ? got : 0));
  if (!status) return 1;

  switch (*status) {
    case protocol::STORE_HELD:
      run.write_log(" exists (blah!)\n");
      (void)seg_ref(s, key);
      return 0;
    case protocol::STORE_SEND:
      run.write_log(" upload... ");
      if (!upload(s, payload)) return 1;
      run.write_log("OK\n");
      (void)seg_ref(s, key);
      return 0;
    default:
      run.write_log(" Unknown error\n");
      return 1;
  }
}

// Attempts until one succeeds, closing the session and reconnecting after each failed one. 1
// once the run is cancelled, or give_up() tells that no new attempt can succeed.
template <typename Attempt, typename GiveUp>
int with_retry(Session& s, const Attempt& attempt, const GiveUp& give_up) {
  for (;;) {
    if (attempt() == 0) return 0;
    if (s.run().cancelled() || give_up()) return 1;
    s.quit();
    (void)s.reconnect();
    s.set_status("Kicking Butt!");
  }
}

}  // namespace

int seg_store(Session& s, const SegKey& key, const uint8_t* data, uint32_t length,
              const PayloadSource& ready) {
  return store(s, key, length, [&] { return ready ? ready() : compress_here(data, length); });
}

int seg_store_retry(Session& s, const uint8_t* data, uint32_t length, const SegKey& key,
                    const PayloadSource& ready) {
  return with_retry(s, [&] { return seg_store(s, key, data, length, ready); }, [] { return false; });
}

int seg_store_streamed_retry(Session& s, const SegKey& key, uint32_t length,
                             StreamedPayload& payload) {
  return with_retry(
      s, [&] { return store(s, key, length, [&payload]() -> StreamedPayload& { return payload; }); },
      [&payload] { return payload.failed(); });
}

}  // namespace corvio
