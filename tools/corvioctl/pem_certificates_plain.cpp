// SPDX-License-Identifier: Apache-2.0
// pem_certificates for the Windows build, which has no OpenSSL: the PEM text is read and each
// certificate's outer DER structure checked, but the certificate itself is not parsed; the
// client reports a certificate the system cannot read when it loads trusted-ca.pem.
#include <cstdint>

#include "trust_ca_command.h"
#include "util/pem.h"
#include "util/text.h"

namespace corvio {
namespace {

// A DER SEQUENCE (as every certificate is) whose length is exactly the rest of the bytes.
bool is_der_sequence(const std::string& der) {
  if (der.size() < 2 || static_cast<uint8_t>(der[0]) != 0x30) return false;
  const uint8_t first = static_cast<uint8_t>(der[1]);
  size_t header = 2;
  size_t length = first;
  if (first & 0x80) {
    const size_t digits = first & 0x7f;
    if (digits == 0 || digits > 4 || der.size() < 2 + digits) return false;
    length = 0;
    for (size_t i = 0; i < digits; ++i) length = length * 256 + static_cast<uint8_t>(der[2 + i]);
    header += digits;
  }
  return der.size() == header + length;
}

}  // namespace

std::string pem_certificates(const std::string& text, std::string* error, int* count) {
  *count = 0;
  std::vector<PemBlock> blocks;
  if (!read_pem(text, &blocks, error)) return std::string();
  std::string out;
  for (const PemBlock& b : blocks) {
    if (b.label != "CERTIFICATE") {
      *error = "it holds a " + printable(b.label) + ", not only certificates";
      return std::string();
    }
    if (!is_der_sequence(b.der)) {
      *error = "certificate " + std::to_string(*count + 1) + " cannot be read";
      return std::string();
    }
    out += write_pem(b);
    ++*count;
  }
  if (*count == 0) *error = "it holds no PEM certificate";
  return *count == 0 ? std::string() : out;
}

}  // namespace corvio
