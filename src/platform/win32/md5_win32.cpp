// SPDX-License-Identifier: Apache-2.0
// MD5 from the system's cryptography API (BCrypt).
// clang-format off
#include <windows.h>
#include <bcrypt.h>  // after windows.h, whose types it uses
// clang-format on

#include <vector>

#include "util/md5.h"

namespace corvio {
namespace {

struct ProviderClose {
  void operator()(BCRYPT_ALG_HANDLE alg) const { ::BCryptCloseAlgorithmProvider(alg, 0); }
};
using Provider = std::unique_ptr<void, ProviderClose>;

struct HashDestroy {
  void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};
using Hash = std::unique_ptr<void, HashDestroy>;

bool ok(NTSTATUS status) { return status >= 0; }

// The algorithm provider, opened once for the process (opening it is the costly step); null
// when the system has no MD5.
BCRYPT_ALG_HANDLE md5_provider() {
  static const Provider provider = [] {
    BCRYPT_ALG_HANDLE alg = nullptr;
    return Provider(
        ok(::BCryptOpenAlgorithmProvider(&alg, BCRYPT_MD5_ALGORITHM, nullptr, 0)) ? alg : nullptr);
  }();
  return provider.get();
}

}  // namespace

struct Md5::State {
  std::vector<UCHAR> object;  // the hash object's memory, which the caller provides on Vista
  Hash hash;                  // declared after object: destroyed before its memory goes
};

std::optional<Md5> Md5::start() {
  BCRYPT_ALG_HANDLE alg = md5_provider();
  if (!alg) return std::nullopt;
  DWORD size = 0;
  ULONG got = 0;
  if (!ok(::BCryptGetProperty(alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size),
                              sizeof size, &got, 0))) {
    return std::nullopt;
  }
  auto state = std::make_unique<State>();
  state->object.resize(size);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!ok(::BCryptCreateHash(alg, &hash, state->object.data(), size, nullptr, 0, 0))) {
    return std::nullopt;
  }
  state->hash.reset(hash);
  return Md5(std::move(state));
}

Md5::Md5(std::unique_ptr<State> state) : state_(std::move(state)) {}
Md5::Md5(Md5&&) noexcept = default;
Md5& Md5::operator=(Md5&&) noexcept = default;
Md5::~Md5() = default;

bool Md5::update(const void* data, size_t n) {
  // BCryptHashData takes a 32-bit length.
  const auto* p = static_cast<const UCHAR*>(data);
  while (n > 0) {
    const ULONG piece = n > 0x40000000 ? 0x40000000 : static_cast<ULONG>(n);
    if (!ok(::BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(p), piece, 0))) return false;
    p += piece;
    n -= piece;
  }
  return true;
}

bool Md5::finish(Md5Digest* digest) {
  return ok(::BCryptFinishHash(state_->hash.get(), digest->data(), kMd5Size, 0));
}

}  // namespace corvio
