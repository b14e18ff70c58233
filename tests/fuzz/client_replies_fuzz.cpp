// SPDX-License-Identifier: Apache-2.0
// The client's parsers of the server's replies, on arbitrary bytes. A parser may accept a reply
// only when it is at least the reply's least length and carries its class and code, and what it
// returns must be the bytes at the reply's fixed offsets.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "net/messages.h"

using namespace corvio::protocol;

namespace {

std::string_view reply;

uint8_t at(size_t i) { return static_cast<uint8_t>(reply[i]); }

bool shaped(const MessageType& type) {
  return reply.size() >= type.length && reply.size() >= 2 && at(0) == type.cls &&
         at(1) == type.code;
}

uint32_t u32_at(size_t i) {
  return at(i) | at(i + 1) << 8 | at(i + 2) << 16 | static_cast<uint32_t>(at(i + 3)) << 24;
}

template <typename T>
void check_status(const std::optional<T>& got, const MessageType& type, size_t offset) {
  FUZZ_CHECK(got.has_value() == shaped(type));
  if (got) FUZZ_CHECK(*got == at(offset));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  reply = std::string_view(reinterpret_cast<const char*>(data), size);

  FUZZ_CHECK(parse_hello(reply) == shaped(MSG_HELLO));
  check_status(parse_login_reply(reply), MSG_LOGIN_REPLY, 2);

  std::optional<uint32_t> profile = parse_profile_found(reply);
  FUZZ_CHECK(profile.has_value() == shaped(MSG_PROFILE_FOUND));
  if (profile) FUZZ_CHECK(*profile == u32_at(2));
  FUZZ_CHECK(parse_profile_unknown(reply) == shaped(MSG_PROFILE_UNKNOWN));

  std::optional<CatalogAllocReply> alloc = parse_catalog_alloc_reply(reply);
  FUZZ_CHECK(alloc.has_value() == shaped(MSG_CATALOG_ALLOC_REPLY));
  if (alloc) FUZZ_CHECK(alloc->status == at(2) && alloc->catalog_id == u32_at(3));
  FUZZ_CHECK(parse_catalog_finish_reply(reply) == shaped(MSG_CATALOG_FINISH_REPLY));

  std::optional<bool> held = parse_seg_query_reply(reply);
  FUZZ_CHECK(held.has_value() == shaped(MSG_SEG_QUERY_REPLY));
  if (held) FUZZ_CHECK(*held == (at(2) == SEG_HELD));
  check_status(parse_seg_store_reply(reply), MSG_SEG_STORE_REPLY, 6);
  FUZZ_CHECK(parse_seg_stored(reply) == shaped(MSG_SEG_STORED));
  check_status(parse_seg_ref_reply(reply), MSG_SEG_REF_REPLY, 2);
  return 0;
}
