// SPDX-License-Identifier: Apache-2.0
#include "stored_block.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>

#include "util/file_handle.h"
#include "util/openssl_ptr.h"

namespace corvio::server {
namespace {

constexpr size_t kPiece = 64 * 1024;

}  // namespace

std::string describe_block(const BlockKey& key) {
  return key.md5_hex() + ", " + std::to_string(key.length) + " bytes";
}

BlockRead read_stored_block(const std::string& path, const BlockKey& key, const BlockSink& sink,
                            std::string* why) {
  errno = 0;
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *why = errno == ENOENT ? "missing from the store"
                           : "cannot be opened: " + std::string(std::strerror(errno));
    return BlockRead::kBad;
  }
  MdCtxPtr md5(EVP_MD_CTX_new());
  if (!md5 || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1) {
    *why = "cannot compute an MD5 digest";
    return BlockRead::kBad;
  }
  std::string piece(kPiece, '\0');
  uint64_t total = 0;
  for (;;) {
    // One byte beyond the key's length shows a file that is too long.
    uint64_t room = static_cast<uint64_t>(key.length) + 1 - total;
    size_t want = room < kPiece ? static_cast<size_t>(room) : kPiece;
    size_t n = std::fread(piece.data(), 1, want, file.get());
    if (n == 0) break;
    total += n;
    if (total > key.length) {
      *why = "longer than " + std::to_string(key.length) + " bytes";
      return BlockRead::kDamaged;
    }
    EVP_DigestUpdate(md5.get(), piece.data(), n);
    if (sink && !sink(std::string_view(piece.data(), n))) return BlockRead::kSinkFailed;
  }
  if (std::ferror(file.get())) {
    *why = "cannot be read";
    return BlockRead::kBad;
  }
  if (total != key.length) {
    *why = std::to_string(total) + " bytes instead of " + std::to_string(key.length);
    return BlockRead::kDamaged;
  }
  std::array<uint8_t, 16> digest{};
  unsigned int digest_length = 0;
  if (EVP_DigestFinal_ex(md5.get(), digest.data(), &digest_length) != 1 || digest != key.md5) {
    *why = "MD5 mismatch";
    return BlockRead::kDamaged;
  }
  return BlockRead::kOk;
}

}  // namespace corvio::server
