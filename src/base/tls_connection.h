// SPDX-License-Identifier: Apache-2.0
// One open TLS connection: the TLS session object and the socket under it. The SSL object
// owns its BIO chain once attached (SSL_set_bio), so destroying the connection frees both,
// exactly once.
#pragma once

#include "util/openssl_ptr.h"

namespace corvio {

class TlsConnection {
 public:
  // ssl already owns socket (attached with SSL_set_bio); socket is borrowed from it.
  TlsConnection(SslPtr ssl, BIO* socket) : ssl_(std::move(ssl)), socket_(socket) {}

  SSL* ssl() const { return ssl_.get(); }
  BIO* socket() const { return socket_; }

 private:
  SslPtr ssl_;
  BIO* socket_;
};

}  // namespace corvio
