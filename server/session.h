// SPDX-License-Identifier: Apache-2.0
// One client connection, from the TLS handshake to its end: greeting, login, then requests
// answered one by one until the client quits or the connection breaks. Runs on the
// connection's own thread; what it shares (the store, the fault counts, the trace, the login
// throttle) is safe to use from many threads.
//
// Client messages are taken from the received bytes and decoded as client_message.h says: by
// their known lengths (MSG_PROFILE_GET runs to its 0 byte); a payload message carries at most
// the rest of the announced payload, up to 4096 bytes. Every reply is written in one piece, unless
// a fault says otherwise.
//
// Requests in flight: a client may write many requests before it reads the replies, and
// requests are answered in order, each as soon as it is read. Several block stores may be
// answered "send" before their payloads come (at most 1024 awaiting); the payloads then follow
// one after another in the order of those stores, each begun only when its first chunk comes.
// Reads block on the socket only
// when the TLS layer holds no whole record: with read-ahead one socket read may bring many
// records, and SSL_read hands over those it holds without waiting for the socket again. A
// reply's write blocks only while the replies the client has not read fill its receive buffer
// and the server's send buffer (a window of 100,000 requests written at once did not get
// there over loopback); a client that reads none for the idle time is disconnected.
//
// Bounds: the handshake and the login must each come within their time-outs; a connection
// gets one login attempt (a refused one is answered, then the connection is closed), checked
// after the wait that the login throttle asks for; a payload is decoded and written to the
// store's disk as it arrives, never held whole, and only a block of at most kBlockSize or a
// catalog of at most options.max_catalog is taken.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "block.h"
#include "client_message.h"
#include "connection_control.h"
#include "faults.h"
#include "login_throttle.h"
#include "server_options.h"
#include "store.h"
#include "trace.h"

namespace corvio::server {

struct SessionSummary {
  std::string login;               // empty until a login was accepted
  std::optional<std::string> tag;  // the last profile asked for
  std::string outcome;             // how the connection ended
  uint64_t messages = 0;
  uint64_t blocks_stored = 0;
  uint64_t refs = 0;
};

// What every session of a server shares.
struct SessionShared {
  Store& store;
  Faults& faults;
  Trace* trace;
  const ServerOptions& options;
  LoginThrottle& throttle;
};

class Session {
 public:
  // peer is the client's "ADDR:PORT"; control is the connection's deadline and stop.
  Session(const SessionShared& shared, uint64_t number, const std::string& peer,
          ConnectionControl& control);

  // Runs the connection over ssl, which owns the accepted socket; returns when it ends.
  SessionSummary run(SSL* ssl);

 private:
  enum class Next { kMessage, kClosed, kBad };
  struct Upload {
    Upload(const BlockKey& k, bool compressed, uint32_t length, std::unique_ptr<BlockWriter> w)
        : key(k), payload_length(length), decoder(k, compressed, length), writer(std::move(w)) {}
    BlockKey key;
    uint32_t payload_length;
    uint32_t received = 0;
    PayloadDecoder decoder;
    std::unique_ptr<BlockWriter> writer;
  };

  Next next_message(std::string* message);
  // How many of the buffered bytes form the next message: 0 when more must be read first,
  // nothing when they cannot start a valid message.
  std::optional<size_t> message_length() const;
  bool handle(const std::string& message);
  bool on_login(const std::string& message);
  bool on_profile(const std::string& message);
  bool on_catalog_alloc(const std::string& message);
  bool on_query(const std::string& message);
  bool on_store(const std::string& message);
  bool on_data(const std::string& message);
  bool on_ref(const std::string& message);
  bool on_finish(const std::string& message);
  // Sends a reply, applying the faults chosen for its kind. False when the write failed.
  bool reply(Reply kind, std::string bytes);
  bool write(std::string_view bytes);
  bool fail(std::string outcome);

  Store& store_;
  Faults& faults_;
  Trace* trace_;
  const ServerOptions& options_;
  LoginThrottle& throttle_;
  uint64_t number_;
  std::string address_;  // the peer without its port: what the login throttle counts
  ConnectionControl& control_;
  SSL* ssl_ = nullptr;
  std::string in_;
  bool login_tried_ = false;
  bool logged_in_ = false;
  // Stores answered "send", oldest first, whose payloads have not begun; their payloads follow
  // one after another in this order.
  std::deque<StoreRequest> awaiting_data_;
  std::unique_ptr<Upload> upload_;  // the payload being received
  SessionSummary summary_;
};

}  // namespace corvio::server
