// SPDX-License-Identifier: Apache-2.0
// The backup protocol's message table, shared by the client and the reference server.
//
// A message is a byte string: byte 0 names its class, byte 1 its code. There is no length
// field, delimiter or checksum. The client writes each message in one send of exactly its
// length and reads each reply with one receive, taking exactly the bytes that receive returned
// as the reply; the server must therefore send every reply in one piece. A reply is accepted
// when it is at least the least length below and carries the expected class and code; bytes
// beyond the fields the client reads are ignored. Block payloads are the only variable-length
// data: their total is announced in MSG_SEG_STORE and each MSG_SEG_DATA carries at most 4096
// bytes of it. Integers are little-endian and unaligned; texts are 8-bit characters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/profile.h"
#include "net/seg_key.h"

namespace corvio::protocol {

// Message classes.
inline constexpr uint8_t CLASS_SESSION = 0x00;  // greeting, login, quit
inline constexpr uint8_t CLASS_PROFILE = 0x01;  // profile number
inline constexpr uint8_t CLASS_CATALOG = 0x02;  // catalog number, end-of-run record
inline constexpr uint8_t CLASS_SEG = 0x80;      // blocks: query, store, payload, reference

struct MessageType {
  uint8_t cls;
  uint8_t code;
  // Client messages: the exact length written (0 when it varies). Replies: the least length
  // the single read must return.
  size_t length;
};

inline constexpr MessageType MSG_HELLO{CLASS_SESSION, 0x00, 10};
inline constexpr MessageType MSG_LOGIN{CLASS_SESSION, 0x08, 76};
inline constexpr MessageType MSG_LOGIN_REPLY{CLASS_SESSION, 0x09, 3};
inline constexpr MessageType MSG_QUIT{CLASS_SESSION, 0x0F, 2};
inline constexpr MessageType MSG_PROFILE_GET{CLASS_PROFILE, 0x02, 0};  // 3 + tag length
inline constexpr MessageType MSG_PROFILE_FOUND{CLASS_PROFILE, 0x10, 138};
inline constexpr MessageType MSG_PROFILE_UNKNOWN{CLASS_PROFILE, 0x11, 2};
inline constexpr MessageType MSG_CATALOG_ALLOC{CLASS_CATALOG, 0x21, 6};
inline constexpr MessageType MSG_CATALOG_ALLOC_REPLY{CLASS_CATALOG, 0x22, 7};
inline constexpr MessageType MSG_CATALOG_FINISH{CLASS_CATALOG, 0x23, 72};
inline constexpr MessageType MSG_CATALOG_FINISH_REPLY{CLASS_CATALOG, 0x24, 3};
inline constexpr MessageType MSG_SEG_QUERY{CLASS_SEG, 0x00, 22};
inline constexpr MessageType MSG_SEG_QUERY_REPLY{CLASS_SEG, 0x01, 3};
inline constexpr MessageType MSG_SEG_STORE{CLASS_SEG, 0x10, 28};
inline constexpr MessageType MSG_SEG_STORE_REPLY{CLASS_SEG, 0x11, 7};
inline constexpr MessageType MSG_SEG_DATA{CLASS_SEG, 0x12, 0};  // 2 + chunk of 1 to 4096
inline constexpr MessageType MSG_SEG_STORED{CLASS_SEG, 0x13, 3};
inline constexpr MessageType MSG_SEG_REF{CLASS_SEG, 0x1E, 22};
inline constexpr MessageType MSG_SEG_REF_REPLY{CLASS_SEG, 0x1F, 3};

// Reply buffers: 1024 bytes, except the two block-store replies, read into 5000.
inline constexpr size_t kReplyBuffer = 1024;
inline constexpr size_t kStoreReplyBuffer = 5000;
// Largest payload carried by one MSG_SEG_DATA.
inline constexpr size_t kChunk = 4096;

// Where the fields of the fixed-layout requests lie, for the server that reads them; the
// encoders of messages.h append the same fields in this order, and the checks below hold the
// offsets to the lengths of the table.
// MSG_LOGIN: eight fixed bytes after the class and code, then the login and the password, each
// in a field as wide as the profile keeps it (kLoginChars, kPasswordChars) and a 0 byte.
inline constexpr size_t kLoginAt = 10;
inline constexpr size_t kPasswordAt = kLoginAt + kLoginChars + 1;
static_assert(kPasswordAt + kPasswordChars + 1 == MSG_LOGIN.length);
// MSG_SEG_QUERY, MSG_SEG_STORE and MSG_SEG_REF: the block's digest, then a 32-bit number: the
// block's length, or for MSG_SEG_REF the catalog number. MSG_SEG_STORE goes on with the
// compressed flag and the compression level (one byte each), then the payload length (u32).
inline constexpr size_t kSegKeyAt = 2;
inline constexpr size_t kSegNumberAt = kSegKeyAt + sizeof(SegKey);
inline constexpr size_t kStoreCompressedAt = kSegNumberAt + 4;
inline constexpr size_t kStorePayloadAt = kStoreCompressedAt + 2;
static_assert(kSegNumberAt + 4 == MSG_SEG_QUERY.length && kSegNumberAt + 4 == MSG_SEG_REF.length);
static_assert(kStorePayloadAt + 4 == MSG_SEG_STORE.length);

// MSG_LOGIN_REPLY status byte.
inline constexpr uint8_t LOGIN_OK = 0x00;
inline constexpr uint8_t LOGIN_BUSY = 0xFE;
inline constexpr uint8_t LOGIN_REFUSED = 0xFF;
// MSG_SEG_QUERY_REPLY byte 2 when the server holds the block.
inline constexpr uint8_t SEG_HELD = 0xFF;
// MSG_SEG_STORE_REPLY byte 6.
inline constexpr uint8_t STORE_SEND = 0x00;
inline constexpr uint8_t STORE_HELD = 0xFF;

}  // namespace corvio::protocol
