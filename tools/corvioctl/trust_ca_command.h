// SPDX-License-Identifier: Apache-2.0
// "corvioctl trust-ca FILE": makes the client trust the certificate authorities of a PEM file,
// for servers whose certificates the system's trust store does not know (a self-signed test
// server, a company's own authority). The certificates replace the data directory's
// trusted-ca.pem, which every connection trusts besides the system's store.
#pragma once

#include <string>
#include <vector>

#include "base/context.h"
#include "profile_command.h"

namespace corvio {

// The certificates of a PEM text, written out again as PEM; empty, with the reason in *error,
// when the text holds anything but well-formed certificates, or none.
std::string pem_certificates(const std::string& text, std::string* error, int* count);

// args are the words after "trust-ca".
int trust_ca_command(const Context& ctx, const std::vector<std::string>& args, const CtlIo& io);

}  // namespace corvio
