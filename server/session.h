// One client connection, from the TLS handshake to its end: greeting, login, then requests
// answered one by one until the client quits or the connection breaks. Runs on the
// connection's own thread; what it shares (the store, the fault counts, the trace) is safe to
// use from many threads.
//
// Client messages are taken from the received bytes by their known lengths (MSG_PROFILE_GET
// runs to its 0 byte); a payload message carries at most the rest of the announced payload,
// up to 4096 bytes. Every reply is written in one piece, unless a fault says otherwise.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <optional>
#include <string>

#include "block.h"
#include "faults.h"
#include "store.h"
#include "trace.h"

namespace corvio::server {

struct SessionSummary {
  std::string login;    // empty until a login was accepted
  std::string outcome;  // how the connection ended
  uint64_t messages = 0;
  uint64_t blocks_stored = 0;
  uint64_t refs = 0;
};

class Session {
 public:
  Session(Store& store, Faults& faults, Trace* trace, uint64_t number)
      : store_(store), faults_(faults), trace_(trace), number_(number) {}

  // Runs the connection over ssl, which owns the accepted socket; returns when it ends.
  SessionSummary run(SSL* ssl);

 private:
  enum class Next { kMessage, kClosed, kBad };
  struct Upload {
    BlockKey key;
    bool compressed = false;
    uint32_t payload_length = 0;
    std::string payload;
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
  uint64_t number_;
  SSL* ssl_ = nullptr;
  std::string in_;
  bool logged_in_ = false;
  std::optional<Upload> upload_;
  SessionSummary summary_;
};

}  // namespace corvio::server
