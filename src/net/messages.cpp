// SPDX-License-Identifier: Apache-2.0
#include "net/messages.h"

#include "util/coding.h"

namespace corvio::protocol {
namespace {

void put_key(std::string* m, const SegKey& key) { put_bytes(m, key.data(), key.size()); }

std::optional<uint8_t> status_at(std::string_view reply, const MessageType& type, size_t offset) {
  uint8_t status = 0;
  if (!is_reply(reply, type) || !Reader(reply).u8(offset, &status)) return std::nullopt;
  return status;
}

}  // namespace

std::string message_header(const MessageType& type) {
  std::string m;
  put_u8(&m, type.cls);
  put_u8(&m, type.code);
  return m;
}

std::string encode_login(std::string_view login, std::string_view password) {
  std::string m = message_header(MSG_LOGIN);
  put_u8(&m, 0x01);
  put_u8(&m, 0x01);
  put_u16(&m, 0x0000);
  put_u16(&m, 0x000D);
  put_u8(&m, 0x00);
  put_u8(&m, 0x00);
  // Each field holds at most its kLoginChars or kPasswordChars characters; the byte after it is
  // always 0, so a full field needs no terminator of its own.
  put_fixed_text(&m, login, kLoginChars);
  put_u8(&m, 0x00);
  put_fixed_text(&m, password, kPasswordChars);
  put_u8(&m, 0x00);
  return m;
}

std::string encode_quit() { return message_header(MSG_QUIT); }

std::string encode_profile_get(std::string_view tag) {
  std::string m = message_header(MSG_PROFILE_GET);
  put_bytes(&m, tag.data(), tag.size());
  put_u8(&m, 0x00);
  return m;
}

std::string encode_seg_query(const SegKey& key, uint32_t length) {
  std::string m = message_header(MSG_SEG_QUERY);
  put_key(&m, key);
  put_u32(&m, length);
  return m;
}

std::string encode_seg_store(const SegKey& key, uint32_t length, bool compressed,
                             uint32_t payload_length) {
  std::string m = message_header(MSG_SEG_STORE);
  put_key(&m, key);
  put_u32(&m, length);
  put_u8(&m, compressed ? 1 : 0);
  put_u8(&m, compressed ? 9 : 0);
  put_u32(&m, payload_length);
  return m;
}

std::string encode_seg_data(std::string_view chunk) {
  std::string m = message_header(MSG_SEG_DATA);
  put_bytes(&m, chunk.data(), chunk.size());
  return m;
}

std::string encode_seg_ref(const SegKey& key, uint32_t catalog_id) {
  std::string m = message_header(MSG_SEG_REF);
  put_key(&m, key);
  put_u32(&m, catalog_id);
  return m;
}

bool is_reply(std::string_view reply, const MessageType& type) {
  return reply.size() >= type.length && reply.size() >= 2 &&
         static_cast<uint8_t>(reply[0]) == type.cls && static_cast<uint8_t>(reply[1]) == type.code;
}

bool parse_hello(std::string_view reply) { return is_reply(reply, MSG_HELLO); }

std::optional<uint8_t> parse_login_reply(std::string_view reply) {
  return status_at(reply, MSG_LOGIN_REPLY, 2);
}

std::optional<uint32_t> parse_profile_found(std::string_view reply) {
  uint32_t id = 0;
  if (!is_reply(reply, MSG_PROFILE_FOUND) || !Reader(reply).u32(2, &id)) return std::nullopt;
  return id;
}

bool parse_profile_unknown(std::string_view reply) { return is_reply(reply, MSG_PROFILE_UNKNOWN); }

std::optional<bool> parse_seg_query_reply(std::string_view reply) {
  std::optional<uint8_t> status = status_at(reply, MSG_SEG_QUERY_REPLY, 2);
  if (!status) return std::nullopt;
  return *status == SEG_HELD;
}

std::optional<uint8_t> parse_seg_store_reply(std::string_view reply) {
  return status_at(reply, MSG_SEG_STORE_REPLY, 6);
}

bool parse_seg_stored(std::string_view reply) { return is_reply(reply, MSG_SEG_STORED); }

std::optional<uint8_t> parse_seg_ref_reply(std::string_view reply) {
  return status_at(reply, MSG_SEG_REF_REPLY, 2);
}

}  // namespace corvio::protocol
