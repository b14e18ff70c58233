// A block is named by the MD5 digest of its bytes and its length. A payload arrives either raw
// or zlib-compressed; before the server keeps it, it is decoded and must give back exactly a
// block of the announced length and digest, so that a block the index lists as held is always
// the right one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvio::server {

struct BlockKey {
  std::array<uint8_t, 16> md5{};
  uint32_t length = 0;

  std::string md5_hex() const;
  bool operator==(const BlockKey&) const = default;
};

std::array<uint8_t, 16> md5_of(std::string_view bytes);

// The largest block the server takes. Blocks of files are 1 MiB; the largest is the catalog
// file uploaded as one block at the end of a run, which the client sends up to 2 GiB - 1.
// Refusing a catalog the client may send would make it retry for ever.
inline constexpr uint32_t kMaxBlock = 0x7FFFFFFF;

// True when a store of this shape can be accepted: a length within kMaxBlock, a raw payload of
// exactly the block length, or a compressed one no longer than zlib's worst case for it.
bool payload_shape_ok(uint32_t length, bool compressed, uint32_t payload_length);

// Decodes payload into *block and checks it against key. False, with *why set, when it does not
// decompress, or its length or digest differ.
bool decode_payload(const BlockKey& key, std::string_view payload, bool compressed,
                    std::string* block, std::string* why);

}  // namespace corvio::server
