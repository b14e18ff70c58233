// SPDX-License-Identifier: Apache-2.0
// The server's TLS context: TLS 1.2 at least, one certificate chain and its private key.
#pragma once

#include <string>

#include "util/openssl_ptr.h"

namespace corvio::server {

// Null, with *error set, when the files cannot be loaded or do not match.
SslCtxPtr make_server_context(const std::string& cert_file, const std::string& key_file,
                              std::string* error);

// The texts of OpenSSL's error queue, which is emptied; "unknown error" when it was empty.
std::string drain_ssl_errors();

}  // namespace corvio::server
