// SPDX-License-Identifier: Apache-2.0
#include "tls_context.h"

#include <openssl/err.h>

namespace corvio::server {
namespace {

constexpr size_t kReadBuffer = 64 * 1024;

}  // namespace

std::string drain_ssl_errors() {
  std::string text;
  while (unsigned long code = ERR_get_error()) {
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    if (!text.empty()) text += "; ";
    text += buf;
  }
  return text.empty() ? "unknown error" : text;
}

SslCtxPtr make_server_context(const std::string& cert_file, const std::string& key_file,
                              std::string* error) {
  SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx || SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) != 1) {
    *error = "cannot create the TLS context: " + drain_ssl_errors();
    return nullptr;
  }
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), cert_file.c_str()) != 1) {
    *error = "cannot load certificate " + cert_file + ": " + drain_ssl_errors();
    return nullptr;
  }
  if (SSL_CTX_use_PrivateKey_file(ctx.get(), key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx.get()) != 1) {
    *error = "cannot load key " + key_file + ": " + drain_ssl_errors();
    return nullptr;
  }
  // Every reply is one write; a write must not return having sent only part of it.
  SSL_CTX_set_mode(ctx.get(), SSL_MODE_AUTO_RETRY);
  // A block's data chunks arrive as many small records back to back: each socket read takes
  // as many of them as are there, and SSL_read still hands them over one record at a time.
  SSL_CTX_set_read_ahead(ctx.get(), 1);
  SSL_CTX_set_default_read_buffer_len(ctx.get(), kReadBuffer);
  // No session tickets: resumption buys nothing here, and a ticket arriving after the
  // handshake would be the only bytes a client can read before the greeting.
  SSL_CTX_set_num_tickets(ctx.get(), 0);
  return ctx;
}

}  // namespace corvio::server
