// SPDX-License-Identifier: Apache-2.0
// The server's reading of client messages: where one message ends in the received bytes, and
// the fields of each request. Pure functions over bytes, so that they can be tested and fuzzed
// without a connection.
//
// Messages are taken by their known lengths from the message table (protocol.h); a profile
// request runs to its 0 byte; a payload message carries at most the rest of the announced
// payload, up to kChunk bytes, and is taken as it came when it is shorter. Every decoder takes
// a whole message of its type, as client_message_length() framed it. The catalog family's
// requests are decoded beside their encoders, in net/catalog_messages.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "block.h"
#include "net/protocol.h"

namespace corvio::server {

// Longest MSG_PROFILE_GET taken: the class, the code, a tag and its 0 byte. Anything longer
// without a 0 byte is not a profile request.
inline constexpr size_t kMaxProfileGet = 2 + 1024 + 1;

// True when message begins with the class and code of type.
bool is_message(std::string_view message, protocol::MessageType type);

// How many of the buffered bytes form the next message: 0 when more must be read first,
// nothing when they cannot start a valid message. payload_left is what the open upload still
// awaits (nothing when none is open; payload messages are then not valid).
std::optional<size_t> client_message_length(std::string_view in,
                                            std::optional<uint32_t> payload_left);

struct LoginRequest {
  std::string login;  // each up to its first 0 byte, at most kLoginChars or kPasswordChars
  std::string password;
};
LoginRequest decode_login(std::string_view message);

// The tag of MSG_PROFILE_GET, without its 0 byte.
std::string decode_profile_get(std::string_view message);
// The block named by MSG_SEG_QUERY or MSG_SEG_STORE.
BlockKey decode_seg_key(std::string_view message);

struct StoreRequest {
  BlockKey key;
  uint8_t compressed = 0;  // 0 raw, 1 zlib; anything else is refused
  uint32_t payload_length = 0;
};
StoreRequest decode_seg_store(std::string_view message);

struct RefRequest {
  std::array<uint8_t, 16> md5{};
  uint32_t catalog_id = 0;
};
RefRequest decode_seg_ref(std::string_view message);

}  // namespace corvio::server
