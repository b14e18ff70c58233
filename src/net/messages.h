// SPDX-License-Identifier: Apache-2.0
// The client's messages and the parsers of the server's replies, as pure functions over
// bytes. Each encoder returns exactly the bytes of one message as laid out in the message
// table (protocol.h); each parser takes exactly the bytes one receive returned and accepts
// them only when they are at least the reply's least length and carry its class and code.
// Bytes beyond the fields read are ignored. The catalog family, whose requests the server
// decodes with the same layout, is in catalog_messages.h and comes with this header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/catalog_messages.h"
#include "net/protocol.h"
#include "net/seg_key.h"

namespace corvio::protocol {

// The class and code of type: the first two bytes of every message.
std::string message_header(const MessageType& type);

std::string encode_login(std::string_view login, std::string_view password);
std::string encode_quit();
std::string encode_profile_get(std::string_view tag);
std::string encode_seg_query(const SegKey& key, uint32_t length);
// length: the block before compression; payload_length: the bytes that follow as MSG_SEG_DATA.
std::string encode_seg_store(const SegKey& key, uint32_t length, bool compressed,
                             uint32_t payload_length);
// One payload chunk of 1 to kChunk bytes, with its two header bytes.
std::string encode_seg_data(std::string_view chunk);
std::string encode_seg_ref(const SegKey& key, uint32_t catalog_id);

// True when reply is at least type.length bytes and begins with type's class and code.
bool is_reply(std::string_view reply, const MessageType& type);

bool parse_hello(std::string_view reply);
// The login status byte.
std::optional<uint8_t> parse_login_reply(std::string_view reply);
// The profile number of MSG_PROFILE_FOUND.
std::optional<uint32_t> parse_profile_found(std::string_view reply);
bool parse_profile_unknown(std::string_view reply);

// True when the server holds the block.
std::optional<bool> parse_seg_query_reply(std::string_view reply);
// The status byte: STORE_SEND, STORE_HELD or an error.
std::optional<uint8_t> parse_seg_store_reply(std::string_view reply);
bool parse_seg_stored(std::string_view reply);
// The status byte: 0 when the reference was recorded.
std::optional<uint8_t> parse_seg_ref_reply(std::string_view reply);

}  // namespace corvio::protocol
