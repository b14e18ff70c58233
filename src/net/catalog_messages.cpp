// SPDX-License-Identifier: Apache-2.0
#include "net/catalog_messages.h"

#include "net/messages.h"
#include "net/protocol.h"
#include "util/coding.h"

namespace corvio::protocol {
namespace {

// The end-of-run record's fields in their order on the wire, right after the class and code.
// The encoder and the decoder both walk this one list, so they cannot disagree on the layout.
template <typename Record, typename Visit>
void visit_finish_fields(Record& f, Visit&& visit) {
  visit(f.catalog_id);
  visit(f.catalog_key);
  visit(f.catalog_size);
  visit(f.time);
  visit(f.files);
  visit(f.directories);
  visit(f.special_files);
  visit(f.bytes_total);
  visit(f.bytes_stored);
  visit(f.bytes_compressed);
}

void put_field(std::string* m, uint32_t v) { put_u32(m, v); }
void put_field(std::string* m, uint64_t v) { put_u64(m, v); }
void put_field(std::string* m, const SegKey& key) { put_bytes(m, key.data(), key.size()); }

// Each reads the field at *at and moves *at past it.
void get_field(const Reader& in, size_t* at, uint32_t* v) {
  in.u32(*at, v);
  *at += sizeof *v;
}
void get_field(const Reader& in, size_t* at, uint64_t* v) {
  in.u64(*at, v);
  *at += sizeof *v;
}
void get_field(const Reader& in, size_t* at, SegKey* key) {
  in.bytes(*at, key->data(), key->size());
  *at += key->size();
}

}  // namespace

std::string encode_catalog_alloc(uint32_t profile_id) {
  std::string m = message_header(MSG_CATALOG_ALLOC);
  put_u32(&m, profile_id);
  return m;
}

uint32_t decode_catalog_alloc(std::string_view message) {
  uint32_t profile_id = 0;
  Reader(message).u32(2, &profile_id);
  return profile_id;
}

std::optional<CatalogAllocReply> parse_catalog_alloc_reply(std::string_view reply) {
  CatalogAllocReply r{};
  Reader in(reply);
  if (!is_reply(reply, MSG_CATALOG_ALLOC_REPLY) || !in.u8(2, &r.status) ||
      !in.u32(3, &r.catalog_id)) {
    return std::nullopt;
  }
  return r;
}

std::string encode_catalog_finish(const CatalogFinish& f) {
  std::string m = message_header(MSG_CATALOG_FINISH);
  visit_finish_fields(f, [&m](const auto& v) { put_field(&m, v); });
  put_u8(&m, 0x01);
  put_u8(&m, 0x01);
  return m;
}

CatalogFinish decode_catalog_finish(std::string_view message) {
  Reader in(message);
  CatalogFinish f;
  size_t at = 2;
  visit_finish_fields(f, [&](auto& v) { get_field(in, &at, &v); });
  return f;
}

bool parse_catalog_finish_reply(std::string_view reply) {
  return is_reply(reply, MSG_CATALOG_FINISH_REPLY);
}

}  // namespace corvio::protocol
