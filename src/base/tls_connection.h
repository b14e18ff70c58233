// SPDX-License-Identifier: Apache-2.0
// One open TLS connection: the TLS session and the socket under it. What it holds belongs to
// the TLS backend of the build (net/), which defines the type and its release; the records
// above the transport only own it. Releasing it closes the socket and frees the session, once.
#pragma once

#include <memory>

namespace corvio {

class TlsConnection;

struct TlsConnectionFree {
  void operator()(TlsConnection* c) const;  // defined by the TLS backend
};
using TlsConnectionPtr = std::unique_ptr<TlsConnection, TlsConnectionFree>;

}  // namespace corvio
