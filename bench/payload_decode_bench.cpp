// SPDX-License-Identifier: Apache-2.0
// The server's decoding of compressed block payloads, on a dataset: every 1 MiB block of every
// file under the folder given is compressed as the client sends it (BlockCompressor), and the
// payloads that go compressed are then decoded on one thread as the server takes them, in
// chunks of 4096 bytes through PayloadDecoder (decompression and the MD5 check). MD5 alone is
// timed over the same blocks, to show what the decompression costs on top of it. The times are
// the process's CPU time, so that other work on the machine does not count.
//
//   payload_decode_bench DIR
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "block.h"
#include "net/block_compress.h"
#include "net/protocol.h"
#include "util/file_handle.h"

namespace {

double seconds_since(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

struct Payload {
  corvio::server::BlockKey key;
  std::string bytes;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace corvio::server;
  if (argc != 2) {
    std::fprintf(stderr, "usage: payload_decode_bench DIR\n");
    return 2;
  }
  corvio::BlockCompressor compressor;
  std::vector<Payload> payloads;
  std::vector<std::string> blocks;
  uint64_t block_bytes = 0;
  std::string block(corvio::kBlockSize, '\0');
  for (const auto& entry : std::filesystem::recursive_directory_iterator(
           argv[1], std::filesystem::directory_options::skip_permission_denied)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    corvio::FileHandle file(std::fopen(entry.path().c_str(), "rb"));
    if (!file) continue;
    for (;;) {
      size_t n = std::fread(block.data(), 1, block.size(), file.get());
      if (n == 0) break;
      const auto* data = reinterpret_cast<const uint8_t*>(block.data());
      if (!compressor.compress(data, static_cast<uint32_t>(n))) continue;
      std::string_view bytes(block.data(), n);
      payloads.push_back({BlockKey{md5_of(bytes), static_cast<uint32_t>(n)},
                          std::string(reinterpret_cast<const char*>(compressor.output()),
                                      compressor.output_length())});
      blocks.emplace_back(bytes);
      block_bytes += n;
    }
  }
  if (payloads.empty()) {
    std::fprintf(stderr, "payload_decode_bench: no compressible block under %s\n", argv[1]);
    return 1;
  }

  std::clock_t start = std::clock();
  for (const std::string& b : blocks) (void)md5_of(b);
  double md5_seconds = seconds_since(start);

  start = std::clock();
  uint64_t decoded = 0;
  for (const Payload& p : payloads) {
    PayloadDecoder decoder(p.key, true, static_cast<uint32_t>(p.bytes.size()));
    auto sink = [&](std::string_view bytes) {
      decoded += bytes.size();
      return true;
    };
    std::string why;
    for (size_t at = 0; at < p.bytes.size(); at += corvio::protocol::kChunk) {
      if (!decoder.feed(std::string_view(p.bytes).substr(at, corvio::protocol::kChunk), sink,
                        &why)) {
        break;
      }
    }
    if (!decoder.finish(&why)) {
      std::fprintf(stderr, "payload_decode_bench: block %s: %s\n", p.key.md5_hex().c_str(),
                   why.c_str());
      return 1;
    }
  }
  double decode_seconds = seconds_since(start);

  double mib = static_cast<double>(block_bytes) / (1 << 20);
  std::printf("%zu compressed blocks, %.1f MiB decoded (%.1f MiB on the wire)\n", payloads.size(),
              static_cast<double>(decoded) / (1 << 20), [&] {
                uint64_t wire = 0;
                for (const Payload& p : payloads) wire += p.bytes.size();
                return static_cast<double>(wire) / (1 << 20);
              }());
  std::printf("MD5 alone:            %7.3f s  %7.1f MiB/s\n", md5_seconds, mib / md5_seconds);
  std::printf("PayloadDecoder (all): %7.3f s  %7.1f MiB/s\n", decode_seconds, mib / decode_seconds);
  std::printf("decompression share:  %7.3f s\n", decode_seconds - md5_seconds);
  return 0;
}
