// SPDX-License-Identifier: Apache-2.0
#include "net/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace corvio::protocol {
namespace {

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

SegKey sample_key() {
  SegKey k;
  for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(0xA0 + i);
  return k;
}

std::string key_bytes() {
  std::string s;
  for (uint8_t b : sample_key()) s.push_back(static_cast<char>(b));
  return s;
}

TEST(Messages, LoginLayout) {
  std::string m = encode_login("anna", "secret");
  ASSERT_EQ(m.size(), 76u);
  EXPECT_EQ(m.substr(0, 10), bytes({0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00}));
  EXPECT_EQ(m.substr(10, 4), "anna");
  EXPECT_EQ(m.substr(14, 29), std::string(29, '\0'));  // rest of the field and byte 42
  EXPECT_EQ(m.substr(43, 6), "secret");
  EXPECT_EQ(m.substr(49), std::string(27, '\0'));
}

TEST(Messages, LoginFieldsOfThirtyTwoAndMoreCharacters) {
  const std::string login32(32, 'L');
  const std::string password40 = std::string(32, 'p') + "OVERFLOW";
  std::string m = encode_login(login32, password40);
  ASSERT_EQ(m.size(), 76u);
  EXPECT_EQ(m.substr(10, 32), login32);
  EXPECT_EQ(m[42], '\0');
  EXPECT_EQ(m.substr(43, 32), std::string(32, 'p'));  // cut to the field, never beyond
  EXPECT_EQ(m[75], '\0');
}

TEST(Messages, QuitProfileAndCatalogRequests) {
  EXPECT_EQ(encode_quit(), bytes({0x00, 0x0F}));
  EXPECT_EQ(encode_profile_get("home"), bytes({0x01, 0x02, 'h', 'o', 'm', 'e', 0x00}));
  EXPECT_EQ(encode_profile_get(""), bytes({0x01, 0x02, 0x00}));
  EXPECT_EQ(encode_catalog_alloc(0x11223344), bytes({0x02, 0x21, 0x44, 0x33, 0x22, 0x11}));
}

TEST(Messages, BlockRequests) {
  EXPECT_EQ(encode_seg_query(sample_key(), 1048576),
            bytes({0x80, 0x00}) + key_bytes() + bytes({0x00, 0x00, 0x10, 0x00}));
  EXPECT_EQ(encode_seg_ref(sample_key(), 0xCAFE0102),
            bytes({0x80, 0x1E}) + key_bytes() + bytes({0x02, 0x01, 0xFE, 0xCA}));
  EXPECT_EQ(encode_seg_store(sample_key(), 10000, true, 0x0123),
            bytes({0x80, 0x10}) + key_bytes() +
                bytes({0x10, 0x27, 0x00, 0x00, 0x01, 0x09, 0x23, 0x01, 0x00, 0x00}));
  EXPECT_EQ(encode_seg_store(sample_key(), 300, false, 300),
            bytes({0x80, 0x10}) + key_bytes() +
                bytes({0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x01, 0x00, 0x00}));
  EXPECT_EQ(encode_seg_data("xyz"), bytes({0x80, 0x12, 'x', 'y', 'z'}));
}

TEST(Messages, CatalogFinishLayout) {
  CatalogFinish f;
  f.catalog_id = 7;
  f.catalog_key = sample_key();
  f.catalog_size = 40000;
  f.time = 0x5F000001;
  f.files = 3;
  f.directories = 4;
  f.special_files = 0;
  f.bytes_total = 0x0000000100000002ULL;
  f.bytes_stored = 9;
  f.bytes_compressed = 8;
  std::string m = encode_catalog_finish(f);
  ASSERT_EQ(m.size(), 72u);
  EXPECT_EQ(m.substr(0, 6), bytes({0x02, 0x23, 7, 0, 0, 0}));
  EXPECT_EQ(m.substr(6, 16), key_bytes());
  EXPECT_EQ(m.substr(22, 8), bytes({0x40, 0x9C, 0, 0, 0, 0, 0, 0}));  // 40000, upper half 0
  EXPECT_EQ(m.substr(30, 4), bytes({0x01, 0x00, 0x00, 0x5F}));
  EXPECT_EQ(m.substr(34, 12), bytes({3, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.substr(46, 8), bytes({2, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(m.substr(54, 8), bytes({9, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.substr(62, 8), bytes({8, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.substr(70), bytes({0x01, 0x01}));
}

TEST(Replies, GreetingNeedsTenBytesAndCodeZero) {
  EXPECT_TRUE(parse_hello(std::string(10, '\0')));
  EXPECT_TRUE(parse_hello(std::string(600, '\0')));
  EXPECT_FALSE(parse_hello(std::string(9, '\0')));
  EXPECT_FALSE(parse_hello(bytes({0x00, 0x01}) + std::string(8, '\0')));
  EXPECT_FALSE(parse_hello(""));
}

TEST(Replies, LoginReplyStatus) {
  EXPECT_EQ(parse_login_reply(bytes({0x00, 0x09, 0xFE})), 0xFE);
  EXPECT_EQ(parse_login_reply(bytes({0x00, 0x09, 0x01, 'x', 'y'})), 0x01);  // extra ignored
  EXPECT_FALSE(parse_login_reply(bytes({0x00, 0x09})));
  EXPECT_FALSE(parse_login_reply(bytes({0x01, 0x09, 0x00})));
  EXPECT_FALSE(parse_login_reply(bytes({0x00, 0x08, 0x00})));
}

TEST(Replies, ProfileFoundNeeds138Bytes) {
  std::string found = bytes({0x01, 0x10, 0x78, 0x56, 0x34, 0x12}) + std::string(132, 'z');
  EXPECT_EQ(parse_profile_found(found), 0x12345678u);
  EXPECT_EQ(parse_profile_found(found + std::string(500, 'q')), 0x12345678u);
  EXPECT_FALSE(parse_profile_found(found.substr(0, 137)));
  EXPECT_FALSE(parse_profile_found(bytes({0x01, 0x11}) + found.substr(2)));
  EXPECT_TRUE(parse_profile_unknown(bytes({0x01, 0x11})));
  EXPECT_FALSE(parse_profile_unknown(bytes({0x01})));
  EXPECT_FALSE(parse_profile_unknown(found));
}

TEST(Replies, CatalogReplies) {
  auto r = parse_catalog_alloc_reply(bytes({0x02, 0x22, 0x00, 0x0A, 0x00, 0x00, 0x80, 0xEE}));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 0);
  EXPECT_EQ(r->catalog_id, 0x8000000Au);
  auto refused = parse_catalog_alloc_reply(bytes({0x02, 0x22, 0x05, 0, 0, 0, 0}));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 5);
  EXPECT_FALSE(parse_catalog_alloc_reply(bytes({0x02, 0x22, 0x00, 1, 0, 0})));
  EXPECT_FALSE(parse_catalog_alloc_reply(bytes({0x02, 0x24, 0x00, 1, 0, 0, 0})));
  EXPECT_TRUE(parse_catalog_finish_reply(bytes({0x02, 0x24, 0x00})));
  EXPECT_FALSE(parse_catalog_finish_reply(bytes({0x02, 0x24})));
  EXPECT_FALSE(parse_catalog_finish_reply(bytes({0x02, 0x22, 0x00})));
}

TEST(Replies, BlockReplies) {
  EXPECT_EQ(parse_seg_query_reply(bytes({0x80, 0x01, 0xFF})), true);
  EXPECT_EQ(parse_seg_query_reply(bytes({0x80, 0x01, 0xFE})), false);
  EXPECT_EQ(parse_seg_query_reply(bytes({0x80, 0x01, 0x00, 0xFF})), false);
  EXPECT_FALSE(parse_seg_query_reply(bytes({0x80, 0x01})));
  EXPECT_FALSE(parse_seg_query_reply(bytes({0x80, 0x1F, 0xFF})));

  EXPECT_EQ(parse_seg_store_reply(bytes({0x80, 0x11, 9, 9, 9, 9, 0x00})), 0x00);
  EXPECT_EQ(parse_seg_store_reply(bytes({0x80, 0x11, 0, 0, 0, 0, 0xFF, 1, 2})), 0xFF);
  EXPECT_FALSE(parse_seg_store_reply(bytes({0x80, 0x11, 0, 0, 0, 0})));
  EXPECT_FALSE(parse_seg_store_reply(bytes({0x80, 0x13, 0, 0, 0, 0, 0})));

  EXPECT_TRUE(parse_seg_stored(bytes({0x80, 0x13, 0x00})));
  EXPECT_FALSE(parse_seg_stored(bytes({0x80, 0x13})));
  EXPECT_FALSE(parse_seg_stored(bytes({0x80, 0x11, 0x00})));

  EXPECT_EQ(parse_seg_ref_reply(bytes({0x80, 0x1F, 0x00})), 0);
  EXPECT_EQ(parse_seg_ref_reply(bytes({0x80, 0x1F, 0x01})), 1);
  EXPECT_FALSE(parse_seg_ref_reply(bytes({0x80, 0x1F})));
  EXPECT_FALSE(parse_seg_ref_reply(bytes({0x00, 0x1F, 0x00})));
}

}  // namespace
}  // namespace corvio::protocol
