// SPDX-License-Identifier: Apache-2.0
#include "net/tls_context.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <string>

#include "base/context.h"
#include "net/tls_context_openssl.h"
#include "platform/socket_wait.h"

namespace corvio {
namespace {

// Adds every certificate of a PEM text to the context's trust store. False when the text
// holds none or one cannot be added.
bool add_trusted(SSL_CTX* ctx, const std::string& pem) {
  BioPtr in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!in) return false;
  X509_STORE* store = SSL_CTX_get_cert_store(ctx);  // borrowed
  int added = 0;
  while (X509Ptr cert{PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr)}) {
    if (X509_STORE_add_cert(store, cert.get()) != 1) return false;
    ++added;
  }
  ERR_clear_error();  // the end of the text reads as a "no start line" error
  return added > 0;
}

}  // namespace

TlsContext::TlsContext() = default;
TlsContext::~TlsContext() = default;

int TlsContext::init(const Context& ctx) {
  OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
  ignore_broken_pipe();
  SslCtxPtr c(SSL_CTX_new(TLS_client_method()));
  if (!c || SSL_CTX_set_min_proto_version(c.get(), TLS1_2_VERSION) != 1) {
    ctx.messages.message_box("Failed to initialize SSL context!", "OpenSSL Init Error");
    return 1;
  }
  SSL_CTX_set_verify(c.get(), SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_paths(c.get());  // a system without a store still has the file

  const std::string path = ctx.style.join(ctx.data_dir, kTrustedCaFile);
  if (ctx.fs.exists(path)) {
    std::string pem;
    if (!ctx.fs.read_all(path, &pem) || !add_trusted(c.get(), pem)) {
      ctx.messages.message_box("Couldn't load the trusted certificates of " + path,
                               "OpenSSL Init Error");
    }
  }
  ERR_clear_error();
  backend_ = std::make_unique<Backend>(Backend{std::move(c)});
  return 0;
}

}  // namespace corvio
