// SPDX-License-Identifier: Apache-2.0
// The single-thread floor of an initial backup: every 1 MiB block of every file under DIR read,
// hashed with MD5 and compressed by zlib's compress2 at level 9, one block after another on
// one thread, in process, with no network. It is the yardstick the whole run is measured
// against, whatever compressor the client uses.
//
//   floor_bench DIR
// prints one line: "floor: BLOCKS blocks BYTES bytes STORED stored WALL s wall CPU s cpu".
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "util/file_handle.h"
#include "util/md5_hex.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: floor_bench DIR\n");
    return 2;
  }
  constexpr size_t kBlock = 1 << 20;
  std::vector<uint8_t> block(kBlock);
  std::vector<uint8_t> out(compressBound(kBlock));
  uint64_t blocks = 0, raw = 0, stored = 0;
  uint8_t digests = 0;  // folds every digest in, so that none is optimised away
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();

  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(argv[1], ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file() || it->is_symlink()) continue;
    corvio::FileHandle file(std::fopen(it->path().c_str(), "rb"));
    if (!file) continue;
    for (;;) {
      const size_t n = std::fread(block.data(), 1, kBlock, file.get());
      if (n == 0) break;
      ++blocks;
      raw += n;
      digests ^= corvio::md5_digest(block.data(), n)[0];
      uLongf len = out.size();
      const bool ok = compress2(out.data(), &len, block.data(), n, 9) == Z_OK;
      stored += ok && len < n ? len : n;
      if (n < kBlock) break;
    }
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  std::printf("floor: %llu blocks %llu bytes %llu stored %.2f s wall %.2f s cpu (%02x)\n",
              static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(raw),
              static_cast<unsigned long long>(stored), wall, cpu, digests);
  return blocks == 0 ? 1 : 0;
}
