// SPDX-License-Identifier: Apache-2.0
// The SChannel side of TlsContext, and the owners of the SSPI and certificate handles that the
// context and its connections hold. Windows only.
#pragma once

// windows.h first, whose types the others use; SECURITY_WIN32 picks the user-mode SSPI.
// clang-format off
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>
// clang-format on

#include <memory>
#include <string>

#include "net/tls_context.h"

namespace corvio {

// An SSPI handle pair (CredHandle, CtxtHandle) with the call that releases it.
template <typename Handle, SECURITY_STATUS(SEC_ENTRY* Release)(Handle*)>
class SspiHandle {
 public:
  SspiHandle() = default;
  SspiHandle(const SspiHandle&) = delete;
  SspiHandle& operator=(const SspiHandle&) = delete;
  ~SspiHandle() { reset(); }

  // For the call that creates the handle; valid() must be set right after it succeeds.
  Handle* out() { return &handle_; }
  void set_valid() { valid_ = true; }
  bool valid() const { return valid_; }
  Handle* get() { return valid_ ? &handle_ : nullptr; }
  const Handle* get() const { return valid_ ? &handle_ : nullptr; }

  void reset() {
    if (valid_) Release(&handle_);
    valid_ = false;
  }

 private:
  Handle handle_{};
  bool valid_ = false;
};
using Credentials = SspiHandle<CredHandle, ::FreeCredentialsHandle>;
using SecurityContext = SspiHandle<CtxtHandle, ::DeleteSecurityContext>;

struct CertStoreClose {
  void operator()(HCERTSTORE store) const { ::CertCloseStore(store, 0); }
};
using CertStore = std::unique_ptr<void, CertStoreClose>;

struct TlsContext::Backend {
  // The SChannel client credentials: TLS 1.2, manual validation. Mutable because SSPI takes
  // the handle as non-const; making connections from it does not change it.
  mutable Credentials credentials;
  // The certificates of trusted-ca.pem, trusted as roots besides the system's store; null
  // when the file is absent or unreadable.
  CertStore trusted;
};

}  // namespace corvio
