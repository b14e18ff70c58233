#include "password.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

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

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string to_hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

bool from_hex(std::string_view hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = hex_value(hex[i]);
    int lo = hex_value(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes->push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

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
