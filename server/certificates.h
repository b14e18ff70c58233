// SPDX-License-Identifier: Apache-2.0
// A certificate authority and a server certificate signed by it, for running the server on a
// loopback or test address without a public certificate. The client is given ca.pem to trust.
#pragma once

#include <string>

namespace corvio::server {

// Writes DIR/ca.pem, DIR/server.pem (the certificate for host, with host in its subject
// alternative names as a DNS name or an IP address) and DIR/server.key, all three readable by
// their owner only (mode 0600; give clients a copy of ca.pem). Refuses to replace an existing
// ca.pem, which clients may already trust.
bool write_self_signed(const std::string& dir, const std::string& host, std::string* error);

}  // namespace corvio::server
