// SPDX-License-Identifier: Apache-2.0
#include "net/tls_io.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <climits>

#include "base/messages.h"
#include "net/tls_context_openssl.h"
#include "platform/socket_wait.h"
#include "util/openssl_ptr.h"

namespace corvio {

// The connect-type BIO of a connection being opened.
class TlsSocket {
 public:
  explicit TlsSocket(BioPtr bio) : bio_(std::move(bio)) {}
  BIO* bio() const { return bio_.get(); }
  BioPtr release() { return std::move(bio_); }

 private:
  BioPtr bio_;
};

// The SSL object owns its BIO chain once attached (SSL_set_bio), so destroying the connection
// frees both, exactly once.
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

void TlsSocketFree::operator()(TlsSocket* s) const { delete s; }
void TlsConnectionFree::operator()(TlsConnection* c) const { delete c; }

namespace {

// The write buffer's size: sixteen 4 KiB data chunks with their record overhead.
constexpr long kWriteBuffer = 16 * (4096 + 64);

// Names the host the certificate must be issued for: an IP address is matched against the
// certificate's addresses, anything else against its DNS names.
bool expect_host(SSL* ssl, const std::string& host) {
  Asn1OctetStringPtr ip(a2i_IPADDRESS(host.c_str()));
  if (ip) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
  ERR_clear_error();
  return SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 && SSL_set1_host(ssl, host.c_str()) == 1;
}

// The wait-and-transfer loop shared by both directions; op is one SSL_write or SSL_read. The
// socket is non-blocking: op returns at once, and the loop waits for what the TLS layer asks.
// A write is tried first, since the socket almost always has room; a read waits first, since
// the reply is almost never there yet, unless the TLS layer holds bytes of it already (read
// ahead from the socket, or decrypted and not yet taken).
// Waits for the socket under the rules; false on time-out or a failed wait (which the session
// forms report in a message box).
bool wait_for(int fd, SocketEvent ev, const WaitRules& rules) {
  WaitResult w = wait_socket(fd, ev, rules.timeout_ms);
  if (w == WaitResult::Failed && rules.wait_failure_box) {
    rules.wait_failure_box->message_box("Other select() error!", "Backup Failure");
  }
  return w == WaitResult::Ready;
}

template <typename Op>
int transfer(const TlsConnection& c, int fd, SocketEvent ev, const WaitRules& rules, Op op) {
  bool wait = ev == SocketEvent::Readable && SSL_has_pending(c.ssl()) == 0;
  for (;;) {
    if (wait && !wait_for(fd, ev, rules)) return -1;
    int rc = op();
    if (rc > 0) return rc;
    int err = SSL_get_error(c.ssl(), rc);
    ERR_clear_error();
    if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE) return -1;
    if (rules.cancel && rules.cancel->load() == 1) return 0;
    // Wait for what the TLS layer needs: a write may have to read first, and the reverse.
    ev = err == SSL_ERROR_WANT_READ ? SocketEvent::Readable : SocketEvent::Writable;
    wait = true;
  }
}

// Puts a buffer between the TLS layer's writes and the socket, so that the records of a block's
// data chunks leave in a few large socket writes instead of one each. Every record stays what
// it was: the peer reads the same records, one chunk each. False when it cannot be set up.
bool buffer_writes(SSL* ssl, BIO* socket) {
  BioPtr buffer(BIO_new(BIO_f_buffer()));
  if (!buffer || BIO_set_write_buffer_size(buffer.get(), kWriteBuffer) <= 0 ||
      BIO_up_ref(socket) != 1) {
    return false;
  }
  // The socket is now held by the reading side and by the buffer's chain, one reference each;
  // SSL_set0_wbio drops the one it held as the writing side.
  BIO_push(buffer.get(), socket);
  SSL_set0_wbio(ssl, buffer.release());
  return true;
}

}  // namespace

TlsSocketPtr tls_new_socket(const std::string& host, uint16_t port) {
  const std::string target = host + ":" + std::to_string(port);
  BioPtr socket(BIO_new_connect(target.c_str()));
  // Every message is one write that the other side waits for before it answers: sent at once
  // (TCP_NODELAY), not held back to be joined with a next one that only comes after the reply.
  if (!socket) return nullptr;
  BIO_set_conn_mode(socket.get(), BIO_SOCK_NODELAY);
  return TlsSocketPtr(new TlsSocket(std::move(socket)));
}

bool tls_connect_socket(TlsSocket* socket) {
  bool ok = BIO_do_connect(socket->bio()) > 0;
  ERR_clear_error();
  return ok;
}

Handshake tls_handshake(const TlsContext& tls, TlsSocketPtr socket, const std::string& host,
                        int timeout_ms) {
  Handshake out;
  if (!tls.get()) return out;
  SslPtr ssl(SSL_new(tls.get()->ctx.get()));
  if (!ssl) return out;
  BIO* raw = socket->release().release();
  SSL_set_bio(ssl.get(), raw, raw);  // the SSL object owns the socket from here on
  SSL_set_mode(ssl.get(), SSL_MODE_AUTO_RETRY);
  // A reply's record header and body in one read from the socket rather than two.
  SSL_set_read_ahead(ssl.get(), 1);
  if (!expect_host(ssl.get(), host)) return out;

  // Non-blocking for the life of the connection, so that a peer that never answers cannot
  // hold the worker forever: every transfer waits for the socket with a time-out.
  const int fd = static_cast<int>(BIO_get_fd(raw, nullptr));
  if (fd < 0 || !set_socket_blocking(fd, false)) return out;
  for (;;) {
    int rc = SSL_connect(ssl.get());
    if (rc > 0) break;
    int err = SSL_get_error(ssl.get(), rc);
    SocketEvent ev;
    if (err == SSL_ERROR_WANT_READ) {
      ev = SocketEvent::Readable;
    } else if (err == SSL_ERROR_WANT_WRITE) {
      ev = SocketEvent::Writable;
    } else {
      long verify = SSL_get_verify_result(ssl.get());
      if (verify != X509_V_OK) out.verify_error = X509_verify_cert_error_string(verify);
      ERR_clear_error();
      return out;
    }
    if (wait_socket(fd, ev, timeout_ms) != WaitResult::Ready) return out;
  }
  if (!buffer_writes(ssl.get(), raw)) return out;
  out.connection.reset(new TlsConnection(std::move(ssl), raw));
  return out;
}

int tls_socket_fd(const TlsConnection& c) {
  return static_cast<int>(BIO_get_fd(c.socket(), nullptr));
}

int transfer_send(TlsConnection& c, int fd, const void* data, size_t n, const WaitRules& rules,
                  bool more) {
  const int len = static_cast<int>(n > INT_MAX ? INT_MAX : n);
  int sent =
      transfer(c, fd, SocketEvent::Writable, rules, [&] { return SSL_write(c.ssl(), data, len); });
  if (sent <= 0 || more) return sent;
  int flushed = transfer_flush(c, fd, rules);
  return flushed > 0 ? sent : flushed;
}

int transfer_flush(TlsConnection& c, int fd, const WaitRules& rules) {
  BIO* out = SSL_get_wbio(c.ssl());
  for (;;) {
    if (BIO_flush(out) > 0) return 1;
    if (!BIO_should_retry(out)) return -1;
    if (rules.cancel && rules.cancel->load() == 1) return 0;
    if (!wait_for(fd, SocketEvent::Writable, rules)) return -1;
  }
}

int transfer_recv(TlsConnection& c, int fd, void* buffer, size_t n, const WaitRules& rules) {
  // A reply cannot come before the request has left.
  if (BIO_wpending(SSL_get_wbio(c.ssl())) > 0) {
    int flushed = transfer_flush(c, fd, rules);
    if (flushed <= 0) return flushed;
  }
  const int len = static_cast<int>(n > INT_MAX ? INT_MAX : n);
  return transfer(c, fd, SocketEvent::Readable, rules,
                  [&] { return SSL_read(c.ssl(), buffer, len); });
}

}  // namespace corvio
