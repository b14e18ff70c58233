// SPDX-License-Identifier: Apache-2.0
#include "net/block_compress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace corvio {
namespace {

std::string random_bytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(gen());
  return out;
}

std::string prose(size_t n) {
  std::string out;
  while (out.size() < n) out += "a block of prose, " + std::to_string(out.size() % 977) + "; ";
  out.resize(n);
  return out;
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// What the server does with a payload: inflate it with zlib.
std::string inflated(const BlockCompressor& c, size_t length) {
  std::string out(length, '\0');
  uLongf n = length;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &n, c.output(), c.output_length()),
            Z_OK);
  out.resize(n);
  return out;
}

TEST(BlockCompressor, MakesAZlibStreamThatInflatesToTheBlock) {
  BlockCompressor c;
  const std::string block = prose(1 << 20);
  ASSERT_TRUE(c.compress(bytes(block), block.size()));
  EXPECT_LT(c.output_length(), block.size() / 4);
  EXPECT_TRUE(inflated(c, block.size()) == block);
  // The buffer is reused: a second, shorter block comes out whole too.
  const std::string other = prose(70000).substr(3);
  ASSERT_TRUE(c.compress(bytes(other), other.size()));
  EXPECT_TRUE(inflated(c, other.size()) == other);
}

TEST(BlockCompressor, RandomBlocksGoRaw) {
  BlockCompressor c;
  const std::string block = random_bytes(1 << 20, 1);
  EXPECT_TRUE(c.looks_incompressible(bytes(block), block.size()));
  EXPECT_FALSE(c.compress(bytes(block), block.size()));
  // Below the sampled size the block is tried whole, and still goes raw.
  const std::string small = random_bytes(10000, 2);
  EXPECT_FALSE(c.looks_incompressible(bytes(small), small.size()));
  EXPECT_FALSE(c.compress(bytes(small), small.size()));
  EXPECT_FALSE(c.compress(bytes(small), 0));
}

// The sample is spread over the block: a block that starts random but is mostly prose is
// compressed, and so is one whose last tenth is prose.
TEST(BlockCompressor, TheSampleLooksAtTheWholeBlock) {
  BlockCompressor c;
  const std::string mixed = random_bytes(300000, 3) + prose(700000);
  EXPECT_FALSE(c.looks_incompressible(bytes(mixed), mixed.size()));
  ASSERT_TRUE(c.compress(bytes(mixed), mixed.size()));
  EXPECT_LT(c.output_length(), 400000u);
  EXPECT_TRUE(inflated(c, mixed.size()) == mixed);
  const std::string tail = random_bytes(900000, 4) + prose(100000);
  EXPECT_FALSE(c.looks_incompressible(bytes(tail), tail.size()));
}

}  // namespace
}  // namespace corvio
