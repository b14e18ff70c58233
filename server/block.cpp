#include "block.h"

#include <openssl/evp.h>
#include <zlib.h>

#include "util/hex.h"

namespace corvio::server {

std::string BlockKey::md5_hex() const {
  return to_hex(std::string_view(reinterpret_cast<const char*>(md5.data()), md5.size()));
}

std::array<uint8_t, 16> md5_of(std::string_view bytes) {
  std::array<uint8_t, 16> digest{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &len, EVP_md5(), nullptr);
  return digest;
}

bool payload_shape_ok(uint32_t length, bool compressed, uint32_t payload_length) {
  if (length > kMaxBlock) return false;
  if (!compressed) return payload_length == length;
  return payload_length >= 1 && payload_length <= length + length / 128 + 16;
}

bool decode_payload(const BlockKey& key, std::string_view payload, bool compressed,
                    std::string* block, std::string* why) {
  if (compressed) {
    // One byte of room beyond the announced length shows a payload that decodes too long.
    block->assign(static_cast<size_t>(key.length) + 1, '\0');
    uLongf out_len = block->size();
    int rc = uncompress(reinterpret_cast<Bytef*>(block->data()), &out_len,
                        reinterpret_cast<const Bytef*>(payload.data()), payload.size());
    if (rc == Z_BUF_ERROR) {
      *why = "payload decompresses longer than the block";
      return false;
    }
    if (rc != Z_OK) {
      *why = "payload does not decompress";
      return false;
    }
    block->resize(out_len);
  } else {
    block->assign(payload);
  }
  if (block->size() != key.length) {
    *why = "length " + std::to_string(block->size()) + " instead of " + std::to_string(key.length);
    return false;
  }
  if (md5_of(*block) != key.md5) {
    *why = "MD5 mismatch";
    return false;
  }
  return true;
}

}  // namespace corvio::server
