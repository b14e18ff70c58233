// SPDX-License-Identifier: Apache-2.0
#include "engine/read_ahead.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/backup_file.h"

namespace corvio {
namespace {

// A file in memory that hands out at most 300,000 bytes per read (so blocks take several
// reads), can fail once a number of bytes is read, and checks that no read starts on a block
// the read-ahead has no free slot for.
class MemoryFile : public ReadableFile {
 public:
  explicit MemoryFile(std::string bytes, int64_t fail_after = -1)
      : bytes_(std::move(bytes)), fail_after_(fail_after) {}

  int64_t read(void* buffer, size_t n) override {
    ++reads;
    if (std::this_thread::get_id() != caller_) off_caller = true;
    if (pos_ / kBlockSize >= allowed.load()) beyond_bound = true;
    if (fail_after_ >= 0 && pos_ >= static_cast<size_t>(fail_after_)) return -1;
    size_t end = std::min({bytes_.size(), pos_ + n, pos_ + 300000});
    if (fail_after_ >= 0) end = std::min(end, static_cast<size_t>(fail_after_));
    std::copy(bytes_.begin() + pos_, bytes_.begin() + end, static_cast<char*>(buffer));
    const int64_t got = static_cast<int64_t>(end - pos_);
    pos_ = end;
    return got;
  }

  std::atomic<uint64_t> reads{0};
  std::atomic<uint64_t> allowed{0};  // blocks below this index may be read
  std::atomic<bool> beyond_bound{false};
  std::atomic<bool> off_caller{false};  // a read ran on another thread than the creator's
  uint64_t size() const { return bytes_.size(); }

 private:
  const std::thread::id caller_ = std::this_thread::get_id();
  std::string bytes_;
  int64_t fail_after_;
  size_t pos_ = 0;  // touched by one reader at a time
};

// Text that compresses, and noise that does not, a block of each in turn.
std::string mixed_bytes(size_t size) {
  std::string out;
  uint32_t x = 7;
  while (out.size() < size) {
    const bool text = (out.size() / kBlockSize) % 2 == 0;
    x = x * 1103515245u + 12345u;
    out += text ? "line " + std::to_string(out.size() % 977) + " of the log\n"
                : std::string(1, static_cast<char>(x >> 24));
  }
  out.resize(size);
  return out;
}

std::string inflate(const BlockPayload& p, size_t length) {
  std::string out(length, '\0');
  uLongf n = length;
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &n, p.data, p.length) != Z_OK) return "";
  out.resize(n);
  return out;
}

struct Taken {
  std::vector<int64_t> lengths;
  std::string bytes;
  bool digests_right = true;
  bool payloads_right = true;
  int compressed = 0;
};

// Takes every block as the block loop does, checking each one's digest and payload.
Taken take_all(ReadAhead& ahead, MemoryFile& file, size_t slots) {
  Taken t;
  file.allowed = slots;
  ReadAhead::Reading reading(ahead, file, file.size());
  for (uint64_t got = 0;; ++got) {
    file.allowed = got + slots;
    const AheadBlock& block = ahead.next();
    t.lengths.push_back(block.length);
    if (block.length <= 0) break;
    const std::string bytes(reinterpret_cast<const char*>(block.data), block.length);
    t.bytes += bytes;
    if (block.md5 != md5_digest(bytes.data(), bytes.size())) t.digests_right = false;
    const BlockPayload p = ahead.payload();
    if (p.compressed) {
      ++t.compressed;
      if (p.length >= bytes.size() || inflate(p, bytes.size()) != bytes) t.payloads_right = false;
    } else if (std::string(reinterpret_cast<const char*>(p.data), p.length) != bytes) {
      t.payloads_right = false;
    }
    if (block.length < static_cast<int64_t>(kBlockSize)) break;
  }
  return t;
}

size_t slots_for(unsigned threads) { return threads == 0 ? 1 : threads + 2; }

TEST(ReadAheadTest, BlocksComeInFileOrderWithTheirDigestsAndPayloadsWhateverThePool) {
  const std::string data = mixed_bytes(5 * kBlockSize + 12345);
  uint64_t sequential_reads = 0;
  for (unsigned threads : {0u, 1u, 3u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    ReadAhead ahead(threads);
    ASSERT_TRUE(ahead.ok());
    MemoryFile file(data);
    Taken t = take_all(ahead, file, slots_for(threads));
    EXPECT_EQ(t.lengths, (std::vector<int64_t>{kBlockSize, kBlockSize, kBlockSize, kBlockSize,
                                               kBlockSize, 12345}));
    EXPECT_EQ(t.bytes, data);
    EXPECT_TRUE(t.digests_right);
    EXPECT_TRUE(t.payloads_right);
    EXPECT_EQ(t.compressed, 3);  // the text blocks; the noise goes raw
    EXPECT_FALSE(file.beyond_bound);
    // The same reads as block by block: none after the short one.
    if (threads == 0) sequential_reads = file.reads;
    EXPECT_EQ(file.reads, sequential_reads);

    // The same pool takes the next file from its start.
    MemoryFile second(data.substr(0, 2 * kBlockSize));
    t = take_all(ahead, second, slots_for(threads));
    EXPECT_EQ(t.lengths, (std::vector<int64_t>{kBlockSize, kBlockSize, 0}));
    EXPECT_EQ(t.bytes, data.substr(0, 2 * kBlockSize));
    EXPECT_TRUE(t.payloads_right);
    EXPECT_FALSE(second.beyond_bound);

    MemoryFile empty("");
    t = take_all(ahead, empty, slots_for(threads));
    EXPECT_EQ(t.lengths, (std::vector<int64_t>{0}));
    EXPECT_EQ(empty.reads, 1u);

    // A small file is read on the caller's thread, with the same blocks; a large one is not,
    // when there is a pool.
    MemoryFile small(data.substr(0, ReadAhead::kSerialBelow - 1));
    t = take_all(ahead, small, 1);
    EXPECT_EQ(t.bytes, data.substr(0, ReadAhead::kSerialBelow - 1));
    EXPECT_EQ(t.compressed, 1);
    EXPECT_TRUE(t.payloads_right);
    EXPECT_FALSE(small.off_caller);
    EXPECT_EQ(second.off_caller, threads > 0);
    // After a small file, the pool takes the next large one again.
    MemoryFile large(data.substr(0, 3 * kBlockSize + 1));
    t = take_all(ahead, large, slots_for(threads));
    EXPECT_EQ(t.bytes, data.substr(0, 3 * kBlockSize + 1));
    EXPECT_EQ(large.off_caller, threads > 0);
  }
}

TEST(ReadAheadTest, ReadErrorComesAfterTheBlocksBeforeItAndEndsReading) {
  for (unsigned threads : {0u, 2u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    ReadAhead ahead(threads);
    MemoryFile file(mixed_bytes(4 * kBlockSize), kBlockSize + kBlockSize / 2);
    Taken t = take_all(ahead, file, slots_for(threads));
    EXPECT_EQ(t.lengths, (std::vector<int64_t>{kBlockSize, -1}));
    EXPECT_EQ(t.bytes.size(), kBlockSize);
    const uint64_t reads = file.reads;
    EXPECT_EQ(reads, 4u + 3u);  // 300,000-byte pieces, the failing read last
  }
}

// A file given up part way (cancel) is no longer touched once end() returns, and the blocks
// read ahead of it are dropped: the next file starts clean.
TEST(ReadAheadTest, EndPartWayStopsReadingAndDropsTheBlocksAhead) {
  ReadAhead ahead(2);
  const std::string data = mixed_bytes(8 * kBlockSize);
  MemoryFile file(data);
  file.allowed = 4;
  {
    ReadAhead::Reading reading(ahead, file, file.size());
    file.allowed = 4;
    EXPECT_EQ(ahead.next().length, kBlockSize);
    file.allowed = 5;
    const AheadBlock& second = ahead.next();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second.data), kBlockSize),
              data.substr(kBlockSize, kBlockSize));
  }
  const uint64_t reads = file.reads;
  EXPECT_LE(reads, 5u * 4u);  // at most the four slots' blocks and one more (4 reads each)
  EXPECT_FALSE(file.beyond_bound);

  MemoryFile next(data.substr(3 * kBlockSize, kBlockSize + 1));
  Taken t = take_all(ahead, next, 4);
  EXPECT_EQ(t.lengths, (std::vector<int64_t>{kBlockSize, 1}));
  EXPECT_EQ(t.bytes, data.substr(3 * kBlockSize, kBlockSize + 1));
  EXPECT_EQ(file.reads, reads);
}

}  // namespace
}  // namespace corvio
