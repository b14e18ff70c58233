// The server's TLS context: TLS 1.2 at least, one certificate chain and its private key.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

namespace corvio::server {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;

// Null, with *error set, when the files cannot be loaded or do not match.
SslCtxPtr make_server_context(const std::string& cert_file, const std::string& key_file,
                              std::string* error);

// The texts of OpenSSL's error queue, which is emptied; "unknown error" when it was empty.
std::string drain_ssl_errors();

}  // namespace corvio::server
