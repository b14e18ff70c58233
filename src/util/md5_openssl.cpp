// SPDX-License-Identifier: Apache-2.0
#include "util/md5.h"

#include "util/openssl_ptr.h"

namespace corvio {

struct Md5::State {
  MdCtxPtr md;
};

std::optional<Md5> Md5::start() {
  MdCtxPtr md(EVP_MD_CTX_new());
  if (!md || EVP_DigestInit_ex(md.get(), EVP_md5(), nullptr) != 1) return std::nullopt;
  return Md5(std::make_unique<State>(State{std::move(md)}));
}

Md5::Md5(std::unique_ptr<State> state) : state_(std::move(state)) {}
Md5::Md5(Md5&&) noexcept = default;
Md5& Md5::operator=(Md5&&) noexcept = default;
Md5::~Md5() = default;

bool Md5::update(const void* data, size_t n) {
  return EVP_DigestUpdate(state_->md.get(), data, n) == 1;
}

bool Md5::finish(Md5Digest* digest) {
  return EVP_DigestFinal_ex(state_->md.get(), digest->data(), nullptr) == 1;
}

}  // namespace corvio
