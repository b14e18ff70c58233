// SPDX-License-Identifier: Apache-2.0
// A minimal TLS client for end-to-end tests of corvio-server: it connects over loopback,
// verifies the server's certificate against the store's CA, and sends and receives raw
// messages, one write per message and one read per reply, as a real client does.
#pragma once

#include <openssl/ssl.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvio::server::test {

class TestClient {
 public:
  // Connects to 127.0.0.1:port and runs the handshake. ok() tells whether it worked.
  TestClient(int port, const std::string& ca_file);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool ok() const { return ssl_ != nullptr; }
  const std::string& error() const { return error_; }

  bool send(std::string_view bytes);
  // Each message as its own TLS record, all the records written to the socket in one write:
  // what a client keeping many requests in flight puts on the wire.
  bool send_at_once(const std::vector<std::string>& messages);
  // The bytes of one read; an empty text when the server closed the connection or the read
  // failed; nothing when no byte came within timeout_s seconds.
  std::optional<std::string> recv(int timeout_s = 5);

  // Reads the greeting and logs in; the login reply's status byte, or -1 when a reply was
  // missing or malformed.
  int greet_and_login(const std::string& login, const std::string& password, int timeout_s = 5);

 private:
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  std::string error_;
};

// A plain TCP connection, without TLS: what a client that never starts its handshake, or
// trickles it, looks like to the server.
class RawConnection {
 public:
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool ok() const { return bio_ != nullptr; }
  bool send(std::string_view bytes);
  // Each message as its own TLS record, all the records written to the socket in one write:
  // what a client keeping many requests in flight puts on the wire.
  bool send_at_once(const std::vector<std::string>& messages);
  // True when the server closed the connection within timeout_ms (reading anything it sent
  // meanwhile); false when it is still open then.
  bool closed_within(int timeout_ms);

 private:
  struct bio_st* bio_ = nullptr;
};

using Md5 = std::array<uint8_t, 16>;
Md5 md5(std::string_view bytes);
std::string zlib_compress(std::string_view bytes);

// Client messages, byte for byte.
std::string login_message(const std::string& login, const std::string& password);
std::string profile_get(const std::string& tag);
std::string catalog_alloc(uint32_t profile_id);
std::string seg_query(const Md5& key, uint32_t length);
std::string seg_store(const Md5& key, uint32_t length, bool compressed, uint32_t payload_length);
std::string seg_data(std::string_view chunk);
std::string seg_ref(const Md5& key, uint32_t catalog_id);
std::string catalog_finish(uint32_t catalog_id, const Md5& key, uint64_t size, uint32_t files);
std::string quit_message();

uint32_t u32_at(std::string_view bytes, size_t offset);

// The bytes of a catalog file made with the client's own schema and then changed by sql: an
// empty catalog when sql is empty, a crafted one otherwise.
std::string catalog_with(const std::string& sql);

}  // namespace corvio::server::test
