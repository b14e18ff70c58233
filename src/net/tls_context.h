// SPDX-License-Identifier: Apache-2.0
// The process-wide TLS client context. Start-up creates it once with init() and keeps the
// object alive until the process ends; every connection of the process is made from it.
//
// Connections use TLS 1.2 or later and verify the server: its certificate must chain to a
// certificate of the system's trust store or of the file "trusted-ca.pem" in the data
// directory, and must be issued for the host name the connection was made to.
#pragma once

#include <memory>

namespace corvio {

struct Context;

inline constexpr const char* kTrustedCaFile = "trusted-ca.pem";

class TlsContext {
 public:
  // The TLS library's side of the context (credentials, trusted certificates), defined by
  // the TLS backend of the build.
  struct Backend;

  TlsContext();
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // Initialises the TLS library and creates the context. Returns 0 on success; on failure
  // shows "Failed to initialize SSL context!" and returns 1. A trusted-ca.pem that cannot be
  // read, or holds no certificate, is reported and left out; the system's trust store still
  // applies.
  int init(const Context& ctx);

  // The context, or null before a successful init(). Borrowed.
  const Backend* get() const { return backend_.get(); }

 private:
  std::unique_ptr<Backend> backend_;
};

}  // namespace corvio
