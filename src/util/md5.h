// SPDX-License-Identifier: Apache-2.0
// MD5 digests of bytes handed over in pieces: the digest of a block, and of the catalog file
// as it is read. The library behind it is the platform's (OpenSSL, or the system's
// cryptography API on Windows); both give the same digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace corvio {

inline constexpr size_t kMd5Size = 16;
using Md5Digest = std::array<uint8_t, kMd5Size>;

// One digest in the making. Used by one thread at a time; finish() ends it.
class Md5 {
 public:
  // A new, empty digest; nullopt when the library cannot make one.
  static std::optional<Md5> start();

  Md5(Md5&&) noexcept;
  Md5& operator=(Md5&&) noexcept;
  ~Md5();

  // Adds n bytes. False when the library failed; the digest is then of no use.
  bool update(const void* data, size_t n);
  // The digest of every byte added. False when the library failed. Call once.
  bool finish(Md5Digest* digest);

 private:
  struct State;  // the library's digest object, defined by the implementation
  explicit Md5(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace corvio
