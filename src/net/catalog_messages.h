// SPDX-License-Identifier: Apache-2.0
// The catalog family of messages, for both ends of the connection: the client encodes the
// requests and parses the replies, the server decodes the requests. Keeping both sides of a
// message in one place means the server reads a field at the offset the client writes it to.
//
//   MSG_CATALOG_ALLOC         class, code, profile number (u32)
//   MSG_CATALOG_ALLOC_REPLY   class, code, status (u8, 0 allocated), catalog number (u32)
//   MSG_CATALOG_FINISH        class, code, the end-of-run record (CatalogFinish, its fields in
//                             declaration order: 68 bytes), then the two bytes 01 01
//   MSG_CATALOG_FINISH_REPLY  class, code, status (u8)
//
// Decoders take a whole message of their type, as the server's framing cut it; a field beyond
// the bytes given is left at its default. Parsers follow the rules of messages.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/seg_key.h"

namespace corvio::protocol {

// The end-of-run record: the values of the run at the moment the client sends it, and what
// the server keeps of that run. Integers are unsigned, so that every counter the client keeps
// travels whole.
struct CatalogFinish {
  uint32_t catalog_id = 0;
  SegKey catalog_key{};  // the digest of the catalog file, stored as one block
  uint64_t catalog_size = 0;
  uint32_t time = 0;  // seconds since 1970, low 32 bits
  uint32_t files = 0;
  uint32_t directories = 0;
  uint32_t special_files = 0;
  uint64_t bytes_total = 0;
  uint64_t bytes_stored = 0;
  uint64_t bytes_compressed = 0;
};

std::string encode_catalog_alloc(uint32_t profile_id);
// The profile number of MSG_CATALOG_ALLOC.
uint32_t decode_catalog_alloc(std::string_view message);

struct CatalogAllocReply {
  uint8_t status;  // 0 allocated, anything else refused
  uint32_t catalog_id;
};
std::optional<CatalogAllocReply> parse_catalog_alloc_reply(std::string_view reply);

std::string encode_catalog_finish(const CatalogFinish& f);
CatalogFinish decode_catalog_finish(std::string_view message);
bool parse_catalog_finish_reply(std::string_view reply);

}  // namespace corvio::protocol
