// SPDX-License-Identifier: Apache-2.0
#include "trust_ca_command.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "net/tls_context.h"
#include "platform/file_modes.h"
#include "util/openssl_ptr.h"
#include "util/text.h"

namespace corvio {

namespace {

constexpr char kUsage[] =
    "usage: corvioctl trust-ca FILE\n"
    "\n"
    "Trusts the certificate authorities in FILE (PEM certificates) for every connection to a\n"
    "backup server, besides the system's trust store. They replace the trusted-ca.pem of the\n"
    "data directory.\n";

// A PEM file of trusted certificates is small; anything much larger is not one.
constexpr size_t kMaxPemBytes = 1 << 20;

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

int trust_ca_command(const Context& ctx, const std::vector<std::string>& args, const CtlIo& io) {
  std::string file;
  switch (single_operand(args, 0, &file)) {
    case Operand::kHelp:
      std::fputs(kUsage, io.out);
      return kCtlOk;
    case Operand::kUsage:
      std::fputs(kUsage, io.err);
      return kCtlUsage;
    case Operand::kValue:
      break;
  }
  std::ifstream in(file, std::ios::binary);
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    std::fprintf(io.err, "corvioctl trust-ca: can't read %s\n", printable(file).c_str());
    return kCtlFailed;
  }
  std::string error;
  int count = 0;
  const std::string pem =
      text.size() > kMaxPemBytes ? std::string() : pem_certificates(text, &error, &count);
  if (pem.empty()) {
    if (error.empty()) error = "it is larger than a file of certificates";
    std::fprintf(io.err, "corvioctl trust-ca: %s: %s\n", printable(file).c_str(), error.c_str());
    return kCtlFailed;
  }
  const std::string target = ctx.style.join(ctx.data_dir, kTrustedCaFile);
  if (!replace_public_file(target, pem, &error)) {
    std::fprintf(io.err, "corvioctl trust-ca: %s\n", printable(error).c_str());
    return kCtlFailed;
  }
  std::fprintf(io.out, "trusted %d certificate%s: %s\n", count, count == 1 ? "" : "s",
               printable(target).c_str());
  return kCtlOk;
}

}  // namespace corvio
