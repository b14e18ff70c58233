// SPDX-License-Identifier: Apache-2.0
// Storing one block on the wire: the store request, and the payload in chunks.
#include "net/connection.h"
#include "net/messages.h"
#include "net/requests.h"

namespace corvio {
namespace {

// Sends one MSG_SEG_DATA chunk, which may wait in the write buffer until the read of the stored
// reply. False when the write failed or chunk_sent says stop.
bool send_chunk(Connection& s, std::string_view chunk, const ChunkSent& chunk_sent) {
  if (s.send(protocol::encode_seg_data(chunk), /*more=*/true) <= 0) return false;
  return chunk_sent(static_cast<uint32_t>(chunk.size()));
}

bool read_stored(Connection& s) {
  char reply[protocol::kStoreReplyBuffer];
  int got = s.recv(reply, sizeof reply);
  return protocol::parse_seg_stored(std::string_view(reply, got > 0 ? got : 0));
}

}  // namespace

StoreReply seg_store_request(Connection& s, const SegKey& key, uint32_t length, bool compressed,
                             uint32_t payload_length) {
  char reply[protocol::kStoreReplyBuffer];
  int got = -1;
  if (s.send(protocol::encode_seg_store(key, length, compressed, payload_length)) > 0) {
    got = s.recv(reply, sizeof reply);
  }
  std::optional<uint8_t> status =
      protocol::parse_seg_store_reply(std::string_view(reply, got > 0 ? got : 0));
  if (!status) return StoreReply::kFailed;
  switch (*status) {
    case protocol::STORE_SEND:
      return StoreReply::kSend;
    case protocol::STORE_HELD:
      return StoreReply::kHeld;
    default:
      return StoreReply::kRefused;
  }
}

Upload seg_upload(Connection& s, StreamedPayload& payload, const ChunkSent& chunk_sent) {
  Upload upload;
  upload.stored = payload.write([&](std::string_view chunk) {
    return send_chunk(s, chunk, chunk_sent);
  }) && read_stored(s);
  return upload;
}

}  // namespace corvio
