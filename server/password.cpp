// SPDX-License-Identifier: Apache-2.0
#include "password.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "util/hex.h"

namespace corvio::server {
namespace {

constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

bool derive(std::string_view password, std::string_view salt, int iterations, std::string* out) {
  out->assign(kHashBytes, '\0');
  return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                           reinterpret_cast<const unsigned char*>(salt.data()),
                           static_cast<int>(salt.size()), iterations, EVP_sha256(),
                           static_cast<int>(out->size()),
                           reinterpret_cast<unsigned char*>(out->data())) == 1;
}

}  // namespace

PasswordHash hash_password(std::string_view password, int iterations) {
  std::string salt(kSaltBytes, '\0');
  std::string hash;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(salt.size())) !=
          1 ||
      !derive(password, salt, iterations, &hash)) {
    return PasswordHash{};
  }
  return PasswordHash{to_hex(salt), iterations, to_hex(hash)};
}

bool verify_password(std::string_view password, const PasswordHash& stored) {
  std::string salt;
  std::string expected;
  std::string actual;
  if (stored.iterations <= 0 || !from_hex(stored.salt, &salt) ||
      !from_hex(stored.hash, &expected) || expected.size() != kHashBytes ||
      !derive(password, salt, stored.iterations, &actual)) {
    return false;
  }
  return CRYPTO_memcmp(actual.data(), expected.data(), kHashBytes) == 0;
}

}  // namespace corvio::server
