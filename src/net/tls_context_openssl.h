// SPDX-License-Identifier: Apache-2.0
// The OpenSSL side of TlsContext, shared by the context and the connections made from it.
#pragma once

#include "net/tls_context.h"
#include "util/openssl_ptr.h"

namespace corvio {

struct TlsContext::Backend {
  SslCtxPtr ctx;  // set up by init(): minimum version, verification, trusted certificates
};

}  // namespace corvio
