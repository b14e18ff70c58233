// SPDX-License-Identifier: Apache-2.0
// TlsContext over SChannel: the client credentials, and the certificates of trusted-ca.pem in
// a store of their own. The server's certificate is checked by hand after each handshake
// (tls_io_schannel.cpp), against the system's store and this one.
#include "net/tls_context_schannel.h"

#include <string>
#include <vector>

#include "base/context.h"
#include "util/pem.h"

namespace corvio {
namespace {

// SChannel's own checks of the server are off: they know neither trusted-ca.pem nor the
// reasons the connection must report.
bool acquire(Credentials* credentials) {
  SCHANNEL_CRED cred{};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry;
  SECURITY_STATUS rc =
      ::AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                  nullptr, &cred, nullptr, nullptr, credentials->out(), &expiry);
  if (rc != SEC_E_OK) return false;
  credentials->set_valid();
  return true;
}

// A store of the certificates of a PEM text; null when the text holds none, or one the system
// cannot read. Blocks of other kinds (a key) are passed over, as OpenSSL does.
CertStore trusted_store(const std::string& pem) {
  std::vector<PemBlock> blocks;
  std::string error;
  if (!read_pem(pem, &blocks, &error)) return nullptr;
  CertStore store(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!store) return nullptr;
  int added = 0;
  for (const PemBlock& b : blocks) {
    if (b.label != "CERTIFICATE") continue;
    if (!::CertAddEncodedCertificateToStore(
            store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(b.der.data()),
            static_cast<DWORD>(b.der.size()), CERT_STORE_ADD_ALWAYS, nullptr)) {
      return nullptr;
    }
    ++added;
  }
  return added > 0 ? std::move(store) : nullptr;
}

}  // namespace

TlsContext::TlsContext() = default;
TlsContext::~TlsContext() = default;

int TlsContext::init(const Context& ctx) {
  auto backend = std::make_unique<Backend>();
  if (!acquire(&backend->credentials)) {
    ctx.messages.message_box("Failed to initialize SSL context!", "OpenSSL Init Error");
    return 1;
  }
  const std::string path = ctx.style.join(ctx.data_dir, kTrustedCaFile);
  if (ctx.fs.exists(path)) {
    std::string pem;
    if (ctx.fs.read_all(path, &pem)) backend->trusted = trusted_store(pem);
    if (!backend->trusted) {
      ctx.messages.message_box("Couldn't load the trusted certificates of " + path,
                               "OpenSSL Init Error");
    }
  }
  backend_ = std::move(backend);
  return 0;
}

}  // namespace corvio
