// SPDX-License-Identifier: Apache-2.0
// Reading PEM text: the blocks between "-----BEGIN <label>-----" and "-----END <label>-----"
// lines, their base64 bodies decoded. Text outside the blocks is ignored, as OpenSSL does.
// The Windows build reads trusted-ca.pem with it; the system's API then checks each
// certificate.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvio {

struct PemBlock {
  std::string label;  // "CERTIFICATE" for a certificate
  std::string der;    // the decoded body
};

// The blocks of text in order. False, with the reason in *error, when a block has no end line,
// a different label at its end, or a body that is not base64.
bool read_pem(std::string_view text, std::vector<PemBlock>* blocks, std::string* error);

// A DER body written out again as a PEM block with 64 characters to a line.
std::string write_pem(const PemBlock& block);

}  // namespace corvio
