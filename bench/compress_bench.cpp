// SPDX-License-Identifier: Apache-2.0
// Compressors for block payloads compared on a dataset: every 1 MiB block of every file under
// the folder given, compressed on one thread by zlib's compress2 at level 9, by libdeflate's
// zlib-format compressor at levels 1 to 6 and 9, and by the client's BlockCompressor (level 6
// after its sample test). A block that does not shrink counts at its raw size, as it is sent raw.
//
//   compress_bench DIR
#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "net/block_compress.h"
#include "util/file_handle.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBlock = 1 << 20;

struct Tally {
  const char* name;
  double seconds = 0;
  uint64_t stored = 0;
};

// Times one compression of a block and counts what would be sent for it.
template <typename F>
void measure(Tally& t, uint64_t raw, F compress) {
  auto start = Clock::now();
  uint64_t out = compress();
  t.seconds += std::chrono::duration<double>(Clock::now() - start).count();
  t.stored += out > 0 && out < raw ? out : raw;
}

struct Deflater {
  explicit Deflater(int level) : c(libdeflate_alloc_compressor(level)) {}
  ~Deflater() { libdeflate_free_compressor(c); }
  libdeflate_compressor* c;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: compress_bench DIR\n");
    return 2;
  }
  Tally zlib9{"zlib compress2, level 9"};
  Tally client{"BlockCompressor (the client's setting)"};
  const int levels[] = {1, 2, 3, 4, 5, 6, 9};
  std::vector<std::unique_ptr<Deflater>> deflaters;
  std::vector<Tally> ld;
  std::vector<std::string> names;
  for (int level : levels) {
    deflaters.push_back(std::make_unique<Deflater>(level));
    names.push_back("libdeflate zlib, level " + std::to_string(level));
  }
  for (const std::string& name : names) ld.push_back(Tally{name.c_str()});
  corvio::BlockCompressor compressor;
  Deflater full(corvio::BlockCompressor::level());
  std::vector<uint8_t> block(kBlock);
  std::vector<uint8_t> out(kBlock + kBlock / 128 + 16);
  uint64_t raw = 0, blocks = 0, skipped = 0, skipped_raw = 0, skipped_saving = 0;

  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(argv[1], ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file() || it->is_symlink()) continue;
    corvio::FileHandle file(std::fopen(it->path().c_str(), "rb"));
    if (!file) continue;
    for (;;) {
      size_t n = std::fread(block.data(), 1, kBlock, file.get());
      if (n == 0) break;
      raw += n;
      ++blocks;
      measure(zlib9, n, [&] {
        uLongf len = out.size();
        return compress2(out.data(), &len, block.data(), n, 9) == Z_OK ? len : 0;
      });
      for (size_t k = 0; k < ld.size(); ++k) {
        measure(ld[k], n, [&] {
          return libdeflate_zlib_compress(deflaters[k]->c, block.data(), n, out.data(), out.size());
        });
      }
      measure(client, n, [&]() -> uint64_t {
        return compressor.compress(block.data(), n) ? compressor.output_length() : 0;
      });
      if (compressor.looks_incompressible(block.data(), n)) {
        ++skipped;
        skipped_raw += n;
        size_t packed = libdeflate_zlib_compress(full.c, block.data(), n, out.data(), out.size());
        if (packed > 0 && packed < n) skipped_saving += n - packed;
      }
    }
  }
  if (raw == 0) {
    std::fprintf(stderr, "compress_bench: no data under %s\n", argv[1]);
    return 1;
  }
  std::printf("%llu blocks, %llu bytes\n", static_cast<unsigned long long>(blocks),
              static_cast<unsigned long long>(raw));
  std::printf("%-42s %9s %8s %12s\n", "compressor", "seconds", "stored", "bytes");
  auto print = [&](const Tally& t) {
    std::printf("%-42s %9.2f %8.4f %12llu\n", t.name, t.seconds, double(t.stored) / double(raw),
                static_cast<unsigned long long>(t.stored));
  };
  print(zlib9);
  for (const Tally& t : ld) print(t);
  print(client);
  // What the client's level saves when every block is compressed in full.
  uint64_t saving = raw - client.stored + skipped_saving;
  std::printf(
      "sample test: %llu blocks (%llu bytes) sent raw unasked; they would have saved %llu "
      "bytes compressed in full, %.4f%% of the saving\n",
      static_cast<unsigned long long>(skipped), static_cast<unsigned long long>(skipped_raw),
      static_cast<unsigned long long>(skipped_saving),
      saving ? 100.0 * double(skipped_saving) / double(saving) : 0.0);
  return 0;
}
