// SPDX-License-Identifier: Apache-2.0
// pem_certificates over OpenSSL: every block must be a certificate that OpenSSL can read.
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstring>

#include "trust_ca_command.h"
#include "util/openssl_ptr.h"
#include "util/text.h"

namespace corvio {
namespace {

struct OpensslFreeBytes {
  void operator()(void* p) const { OPENSSL_free(p); }
};

}  // namespace

std::string pem_certificates(const std::string& text, std::string* error, int* count) {
  *count = 0;
  BioPtr in(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!in || !out) {
    *error = "out of memory";
    return std::string();
  }
  ERR_clear_error();
  for (;;) {
    char* raw_name = nullptr;
    char* raw_header = nullptr;
    unsigned char* raw_data = nullptr;
    long length = 0;
    const int got = PEM_read_bio(in.get(), &raw_name, &raw_header, &raw_data, &length);
    std::unique_ptr<char, OpensslFreeBytes> name(raw_name), header(raw_header);
    std::unique_ptr<unsigned char, OpensslFreeBytes> data(raw_data);
    if (got == 0) {
      // The end of the text reads as "no start line"; any other error is a broken block.
      const unsigned long e = ERR_peek_last_error();
      ERR_clear_error();
      if (ERR_GET_LIB(e) == ERR_LIB_PEM && ERR_GET_REASON(e) == PEM_R_NO_START_LINE) break;
      *error = "a PEM block is damaged";
      return std::string();
    }
    if (std::strcmp(name.get(), "CERTIFICATE") != 0) {
      *error = "it holds a " + printable(name.get()) + ", not only certificates";
      return std::string();
    }
    const unsigned char* p = data.get();
    X509Ptr cert(d2i_X509(nullptr, &p, length));
    if (!cert || p != data.get() + length || PEM_write_bio_X509(out.get(), cert.get()) != 1) {
      ERR_clear_error();
      *error = "certificate " + std::to_string(*count + 1) + " cannot be read";
      return std::string();
    }
    ++*count;
  }
  if (*count == 0) {
    *error = "it holds no PEM certificate";
    return std::string();
  }
  char* bytes = nullptr;
  const long size = BIO_get_mem_data(out.get(), &bytes);
  return std::string(bytes, static_cast<size_t>(size));
}

}  // namespace corvio
