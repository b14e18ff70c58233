// SPDX-License-Identifier: Apache-2.0
#include "trust_ca_command.h"

#include <fstream>
#include <iterator>

#include "net/tls_context.h"
#include "platform/file_modes.h"
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

}  // namespace

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
