// SPDX-License-Identifier: Apache-2.0
// The TLS connection over SChannel (SSPI) for the Windows build: the handshake, the check of
// the server's certificate, and the record layer that OpenSSL does for the other builds, with
// the same waits, results and write buffer. SSPI works on buffers only: the connection holds
// the records on their way in and out itself.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "net/tls_context_schannel.h"
#include "net/tls_io.h"
#include "platform/socket_wait.h"
#include "platform/tcp_socket.h"

namespace corvio {

// The host and port until the connection is made.
class TlsSocket {
 public:
  TlsSocket(std::string host, uint16_t port) : host(std::move(host)), port(port) {}
  const std::string host;
  const uint16_t port;
  TcpSocket tcp;  // valid once connected
};

class TlsConnection {
 public:
  TcpSocket socket;
  SecurityContext context;
  SecPkgContext_StreamSizes sizes{};  // record header, trailer and largest message
  std::vector<char> out;              // whole records not yet written to the socket
  std::vector<char> in;               // bytes read and not yet decrypted: records, whole or cut
  std::vector<char> plain;            // decrypted bytes from plain_at on not yet handed out
  size_t plain_at = 0;
  bool ended = false;  // the peer closed the session, or a record could not be read
};

void TlsSocketFree::operator()(TlsSocket* s) const { delete s; }
void TlsConnectionFree::operator()(TlsConnection* c) const { delete c; }

namespace {

// The write buffer's size: sixteen 4 KiB data chunks with their record overhead.
constexpr size_t kWriteBuffer = 16 * (4096 + 64);
// What one read from the socket asks for: a few records.
constexpr size_t kReadChunk = 64 * 1024;

constexpr ULONG kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

// SECURITY_FLAG_IGNORE_UNKNOWN_CA, from the WinINet header this file does not otherwise need.
constexpr DWORD kIgnoreUnknownCa = 0x00000100;

struct ContextBufferFree {
  void operator()(void* p) const { ::FreeContextBuffer(p); }
};
struct CertFree {
  void operator()(PCCERT_CONTEXT cert) const { ::CertFreeCertificateContext(cert); }
};
using CertPtr = std::unique_ptr<const CERT_CONTEXT, CertFree>;
struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { ::CertFreeCertificateChain(chain); }
};
using ChainPtr = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

bool wait_for(int fd, SocketEvent ev, const WaitRules& rules) {
  WaitResult w = wait_socket(fd, ev, rules.timeout_ms);
  if (w == WaitResult::Failed && rules.wait_failure_box) {
    rules.wait_failure_box->message_box("Other select() error!", "Backup Failure");
  }
  return w == WaitResult::Ready;
}

// A name for SNI and the certificate check; an address is not one (SNI carries names only).
bool is_address(const std::string& host) {
  return host.find(':') != std::string::npos ||
         host.find_first_not_of("0123456789.") == std::string::npos;
}

// --- The handshake ---

bool send_all(int fd, const char* data, size_t n, int timeout_ms) {
  while (n > 0) {
    const long rc = tcp_send(fd, data, n);
    if (rc == kTcpWouldBlock) {
      if (wait_socket(fd, SocketEvent::Writable, timeout_ms) != WaitResult::Ready) return false;
      continue;
    }
    if (rc <= 0) return false;
    data += rc;
    n -= static_cast<size_t>(rc);
  }
  return true;
}

// Appends what the socket has to c.in, waiting for it at most timeout_ms.
bool read_more(TlsConnection& c, int timeout_ms) {
  const int fd = c.socket.fd();
  for (;;) {
    if (wait_socket(fd, SocketEvent::Readable, timeout_ms) != WaitResult::Ready) return false;
    const size_t at = c.in.size();
    c.in.resize(at + kReadChunk);
    const long got = tcp_recv(fd, c.in.data() + at, kReadChunk);
    c.in.resize(at + static_cast<size_t>(std::max(got, 0L)));
    if (got > 0) return true;
    if (got != kTcpWouldBlock) return false;
  }
}

// Keeps in c.in only the last `extra` bytes: what a step of SSPI left unread.
void keep_extra(TlsConnection& c, const SecBuffer& b) {
  if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) {
    c.in.erase(c.in.begin(), c.in.end() - b.cbBuffer);
  } else {
    c.in.clear();
  }
}

// Runs the client handshake to its end. Bytes the server sent after it stay in c.in.
bool handshake(CredHandle* credentials, TlsConnection& c, const std::string& host, int timeout_ms) {
  const char* target = is_address(host) ? nullptr : host.c_str();
  bool first = true;
  bool need_input = false;
  for (;;) {
    if (need_input && !read_more(c, timeout_ms)) return false;
    SecBuffer in[2] = {{static_cast<ULONG>(c.in.size()), SECBUFFER_TOKEN, c.in.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc in_desc{SECBUFFER_VERSION, 2, in};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc out_desc{SECBUFFER_VERSION, 1, &token};
    ULONG attributes = 0;
    // Later steps name the context both as input and as output, which SSPI allows.
    const SECURITY_STATUS rc = ::InitializeSecurityContextA(
        credentials, first ? nullptr : c.context.get(), const_cast<char*>(target), kRequest, 0, 0,
        first ? nullptr : &in_desc, 0, c.context.out(), &out_desc, &attributes, nullptr);
    std::unique_ptr<void, ContextBufferFree> token_owner(token.pvBuffer);
    if (first && rc >= 0) c.context.set_valid();
    first = false;
    if (rc == SEC_E_INCOMPLETE_MESSAGE) {
      need_input = true;
      continue;
    }
    if (rc != SEC_E_OK && rc != SEC_I_CONTINUE_NEEDED) return false;
    if (token.cbBuffer > 0 && !send_all(c.socket.fd(), static_cast<const char*>(token.pvBuffer),
                                        token.cbBuffer, timeout_ms)) {
      return false;
    }
    keep_extra(c, in[1]);
    if (rc == SEC_E_OK) return true;
    need_input = c.in.empty();
  }
}

// --- The server's certificate ---

std::string verify_reason(DWORD error) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
      return "the certificate does not chain to a trusted authority";
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return "the certificate has expired or is not yet valid";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "the certificate is not issued for this host name";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return "the certificate is not for a server";
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
      return "the certificate's signature is not valid";
    case static_cast<DWORD>(CERT_E_REVOKED):
      return "the certificate has been revoked";
    default: {
      char text[48];
      std::snprintf(text, sizeof text, "certificate error 0x%08lx",
                    static_cast<unsigned long>(error));
      return text;
    }
  }
}

// The chain's own faults as the error the policy check would give. Not every system's policy
// check looks at them all (Wine passes a chain that ends at an unknown issuer).
DWORD trust_error(DWORD status) {
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) return static_cast<DWORD>(CERT_E_EXPIRED);
  if (status & CERT_TRUST_IS_REVOKED) return static_cast<DWORD>(CERT_E_REVOKED);
  if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return static_cast<DWORD>(TRUST_E_CERT_SIGNATURE);
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return static_cast<DWORD>(CERT_E_WRONG_USAGE);
  if (status & CERT_TRUST_IS_UNTRUSTED_ROOT) return static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
  return status == 0 ? 0 : static_cast<DWORD>(CERT_E_CHAINING);
}

// The verdict on the server's chain, 0 when it passes: the chain's own status, then the SSL
// policy with the host name. The chain is built from the system's store and the certificates
// the server sent, and, with trusted set, from those as well; it must then end at a
// self-signed certificate of trusted, which the system itself does not know as a root.
DWORD chain_error(PCCERT_CONTEXT cert, const std::string& host, HCERTSTORE trusted) {
  CertStore extra(::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
  if (!extra || !::CertAddStoreToCollection(extra.get(), cert->hCertStore, 0, 0) ||
      (trusted && !::CertAddStoreToCollection(extra.get(), trusted, 0, 0))) {
    return static_cast<DWORD>(CERT_E_CHAINING);
  }
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {server_auth};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT raw = nullptr;
  if (!::CertGetCertificateChain(nullptr, cert, nullptr, extra.get(), &para, 0, nullptr, &raw)) {
    return static_cast<DWORD>(CERT_E_CHAINING);
  }
  ChainPtr chain(raw);
  DWORD status =
      chain->TrustStatus.dwErrorStatus &
      ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (trusted) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    const CERT_CHAIN_ELEMENT* top = simple->rgpElement[simple->cElement - 1];
    CertPtr found(::CertFindCertificateInStore(trusted, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                               top->pCertContext, nullptr));
    if (!found || !(top->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED)) {
      return static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
    }
    status &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
  }
  if (const DWORD error = trust_error(status)) return error;

  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  if (trusted) {
    policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
    ssl.fdwChecks = kIgnoreUnknownCa;
  }
  std::wstring name(host.begin(), host.end());  // host names are ASCII
  ssl.pwszServerName = name.data();
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS verdict{};
  verdict.cbSize = sizeof verdict;
  if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &verdict)) {
    return static_cast<DWORD>(CERT_E_CHAINING);
  }
  return verdict.dwError;
}

// Why the server's certificate is refused; empty when it is accepted.
std::string verify_server(const TlsContext::Backend& tls, TlsConnection& c,
                          const std::string& host) {
  PCCERT_CONTEXT raw = nullptr;
  if (::QueryContextAttributesA(c.context.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) !=
          SEC_E_OK ||
      !raw) {
    return "the server sent no certificate";
  }
  CertPtr cert(raw);
  DWORD error = chain_error(cert.get(), host, nullptr);
  if (error != 0 && tls.trusted &&
      (error == static_cast<DWORD>(CERT_E_UNTRUSTEDROOT) ||
       error == static_cast<DWORD>(CERT_E_CHAINING))) {
    error = chain_error(cert.get(), host, tls.trusted.get());
  }
  return error == 0 ? std::string() : verify_reason(error);
}

// --- Records ---

// Encrypts n bytes (at most the largest message) as one record at the end of c.out.
bool seal(TlsConnection& c, const char* data, size_t n) {
  const SecPkgContext_StreamSizes& s = c.sizes;
  const size_t at = c.out.size();
  c.out.resize(at + s.cbHeader + n + s.cbTrailer);
  char* p = c.out.data() + at;
  std::memcpy(p + s.cbHeader, data, n);
  SecBuffer b[4] = {{s.cbHeader, SECBUFFER_STREAM_HEADER, p},
                    {static_cast<ULONG>(n), SECBUFFER_DATA, p + s.cbHeader},
                    {s.cbTrailer, SECBUFFER_STREAM_TRAILER, p + s.cbHeader + n},
                    {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
  if (::EncryptMessage(c.context.get(), 0, &desc, 0) != SEC_E_OK) {
    c.out.resize(at);
    return false;
  }
  c.out.resize(at + b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer);
  return true;
}

// Decrypts the first record of c.in: 1 when it was whole (its plaintext, perhaps none, is
// added to c.plain), 0 when c.in holds no whole record, -1 when it cannot be read. The peer's
// close_notify (SEC_I_CONTEXT_EXPIRED) ends the stream like an error; so does a request to
// renegotiate, which this client does not do.
int open_record(TlsConnection& c) {
  if (c.in.empty()) return 0;
  SecBuffer b[4] = {{static_cast<ULONG>(c.in.size()), SECBUFFER_DATA, c.in.data()},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
  const SECURITY_STATUS rc = ::DecryptMessage(c.context.get(), &desc, 0, nullptr);
  if (rc == SEC_E_INCOMPLETE_MESSAGE) return 0;
  if (rc != SEC_E_OK) return -1;
  const SecBuffer* extra = nullptr;
  for (const SecBuffer& x : b) {
    if (x.BufferType == SECBUFFER_DATA) {
      const char* p = static_cast<const char*>(x.pvBuffer);
      c.plain.insert(c.plain.end(), p, p + x.cbBuffer);
    } else if (x.BufferType == SECBUFFER_EXTRA) {
      extra = &x;
    }
  }
  if (extra) {
    keep_extra(c, *extra);
  } else {
    c.in.clear();
  }
  return 1;
}

// One read without waiting: held plaintext first, then held records, then what the socket has.
// The byte count, 0 when the socket has nothing now, -1 when the stream has ended or failed.
int read_some(TlsConnection& c, int fd, char* buffer, size_t n) {
  for (;;) {
    if (c.plain_at < c.plain.size()) {
      const size_t k = std::min(n, c.plain.size() - c.plain_at);
      std::memcpy(buffer, c.plain.data() + c.plain_at, k);
      c.plain_at += k;
      if (c.plain_at == c.plain.size()) {
        c.plain.clear();
        c.plain_at = 0;
      }
      return static_cast<int>(k);
    }
    if (c.ended) return -1;
    const int opened = open_record(c);
    if (opened > 0) continue;
    if (opened < 0) {
      c.ended = true;
      return -1;
    }
    const size_t at = c.in.size();
    c.in.resize(at + kReadChunk);
    const long got = tcp_recv(fd, c.in.data() + at, kReadChunk);
    c.in.resize(at + static_cast<size_t>(std::max(got, 0L)));
    if (got == kTcpWouldBlock) return 0;
    if (got <= 0) {  // closed without close_notify, or reset
      c.ended = true;
      return -1;
    }
  }
}

// Writes what the socket takes of c.out: 1 when all is out, 0 when the socket is full, -1 on
// error.
int push(TlsConnection& c, int fd) {
  size_t sent = 0;
  int result = 1;
  while (sent < c.out.size()) {
    const long rc = tcp_send(fd, c.out.data() + sent, c.out.size() - sent);
    if (rc <= 0) {
      result = rc == kTcpWouldBlock ? 0 : -1;
      break;
    }
    sent += static_cast<size_t>(rc);
  }
  c.out.erase(c.out.begin(), c.out.begin() + static_cast<ptrdiff_t>(sent));
  return result;
}

}  // namespace

TlsSocketPtr tls_new_socket(const std::string& host, uint16_t port) {
  return TlsSocketPtr(new TlsSocket(host, port));
}

bool tls_connect_socket(TlsSocket* socket) {
  socket->tcp = tcp_connect(socket->host, socket->port);
  return socket->tcp.valid();
}

Handshake tls_handshake(const TlsContext& tls, TlsSocketPtr socket, const std::string& host,
                        int timeout_ms) {
  Handshake out;
  if (!tls.get() || !socket->tcp.valid()) return out;
  TlsConnectionPtr c(new TlsConnection);
  c->socket = std::move(socket->tcp);
  // Non-blocking for the life of the connection, so that a peer that never answers cannot
  // hold the worker forever: every transfer waits for the socket with a time-out.
  if (!set_socket_blocking(c->socket.fd(), false) ||
      !handshake(tls.get()->credentials.get(), *c, host, timeout_ms) ||
      ::QueryContextAttributesA(c->context.get(), SECPKG_ATTR_STREAM_SIZES, &c->sizes) !=
          SEC_E_OK) {
    return out;
  }
  out.verify_error = verify_server(*tls.get(), *c, host);
  if (out.verify_error.empty()) out.connection = std::move(c);
  return out;
}

int tls_socket_fd(const TlsConnection& c) { return c.socket.fd(); }

int transfer_send(TlsConnection& c, int fd, const void* data, size_t n, const WaitRules& rules,
                  bool more) {
  // As one TLS write: the whole message, in records of at most the largest message each.
  const size_t len = std::min<size_t>(n, INT_MAX);
  const char* p = static_cast<const char*>(data);
  const size_t overhead = c.sizes.cbHeader + c.sizes.cbTrailer;
  for (size_t done = 0; done < len;) {
    const size_t piece = std::min<size_t>(len - done, c.sizes.cbMaximumMessage);
    // A full write buffer goes to the socket before the next record joins it.
    if (!c.out.empty() && c.out.size() + piece + overhead > kWriteBuffer) {
      const int flushed = transfer_flush(c, fd, rules);
      if (flushed <= 0) return flushed;
    }
    if (!seal(c, p + done, piece)) return -1;
    done += piece;
  }
  if (more) return static_cast<int>(len);
  const int flushed = transfer_flush(c, fd, rules);
  return flushed > 0 ? static_cast<int>(len) : flushed;
}

int transfer_flush(TlsConnection& c, int fd, const WaitRules& rules) {
  for (;;) {
    const int pushed = push(c, fd);
    if (pushed != 0) return pushed;
    if (rules.cancel && rules.cancel->load() == 1) return 0;
    if (!wait_for(fd, SocketEvent::Writable, rules)) return -1;
  }
}

int transfer_recv(TlsConnection& c, int fd, void* buffer, size_t n, const WaitRules& rules) {
  // A reply cannot come before the request has left.
  if (!c.out.empty()) {
    const int flushed = transfer_flush(c, fd, rules);
    if (flushed <= 0) return flushed;
  }
  const size_t len = std::min<size_t>(n, INT_MAX);
  // The reply is almost never there yet, unless bytes of it are held already.
  bool wait = c.plain_at == c.plain.size() && c.in.empty();
  for (;;) {
    if (wait && !wait_for(fd, SocketEvent::Readable, rules)) return -1;
    const int got = read_some(c, fd, static_cast<char*>(buffer), len);
    if (got != 0) return got;
    if (rules.cancel && rules.cancel->load() == 1) return 0;
    wait = true;
  }
}

}  // namespace corvio
