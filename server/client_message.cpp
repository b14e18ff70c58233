// SPDX-License-Identifier: Apache-2.0
#include "client_message.h"

#include <algorithm>

#include "net/protocol.h"
#include "util/coding.h"

namespace corvio::server {

using namespace protocol;

bool is_message(std::string_view message, MessageType type) {
  return message.size() >= 2 && static_cast<uint8_t>(message[0]) == type.cls &&
         static_cast<uint8_t>(message[1]) == type.code;
}

std::optional<size_t> client_message_length(std::string_view in,
                                            std::optional<uint32_t> payload_left) {
  if (in.size() < 2) return 0;
  auto need = [&](size_t n) -> size_t { return in.size() >= n ? n : 0; };
  for (MessageType type : {MSG_LOGIN, MSG_QUIT, MSG_CATALOG_ALLOC, MSG_CATALOG_FINISH,
                           MSG_SEG_QUERY, MSG_SEG_STORE, MSG_SEG_REF}) {
    if (is_message(in, type)) return need(type.length);
  }
  if (is_message(in, MSG_PROFILE_GET)) {
    size_t end = in.find('\0', 2);
    if (end != std::string_view::npos && end < kMaxProfileGet) return end + 1;
    if (in.size() >= kMaxProfileGet) return std::nullopt;
    return 0;
  }
  if (is_message(in, MSG_SEG_DATA) && payload_left) {
    size_t chunk = std::min<size_t>(kChunk, *payload_left);
    // Each payload message arrives in one read; one shorter than the usual chunk is taken as
    // it came rather than run into the next message.
    size_t buffered = in.size() - 2;
    if (buffered == 0) return 0;
    return 2 + std::min(chunk, buffered);
  }
  return std::nullopt;
}

namespace {

// A text field of width bytes, ending at its first 0 byte.
std::string field_text(std::string_view message, size_t offset, size_t width) {
  std::string_view field = message.substr(std::min(offset, message.size()), width);
  return std::string(field.substr(0, field.find('\0')));
}

}  // namespace

LoginRequest decode_login(std::string_view message) {
  return {field_text(message, kLoginAt, kLoginChars),
          field_text(message, kPasswordAt, kPasswordChars)};
}

std::string decode_profile_get(std::string_view message) {
  std::string_view tag = message.substr(std::min<size_t>(2, message.size()));
  return std::string(tag.substr(0, tag.find('\0')));
}

BlockKey decode_seg_key(std::string_view message) {
  Reader r(message);
  BlockKey key;
  r.bytes(kSegKeyAt, key.md5.data(), key.md5.size());
  r.u32(kSegNumberAt, &key.length);
  return key;
}

StoreRequest decode_seg_store(std::string_view message) {
  Reader r(message);
  StoreRequest s;
  s.key = decode_seg_key(message);
  r.u8(kStoreCompressedAt, &s.compressed);
  r.u32(kStorePayloadAt, &s.payload_length);
  return s;
}

RefRequest decode_seg_ref(std::string_view message) {
  Reader r(message);
  RefRequest ref;
  r.bytes(kSegKeyAt, ref.md5.data(), ref.md5.size());
  r.u32(kSegNumberAt, &ref.catalog_id);
  return ref;
}

}  // namespace corvio::server
