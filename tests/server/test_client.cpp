// SPDX-License-Identifier: Apache-2.0
#include "test_client.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <chrono>
#include <ctime>

#include "catalog/catalog_schema.h"
#include "db/database.h"
#include "platform/socket_wait.h"
#include "support/temp_dir.h"
#include "util/coding.h"

namespace corvio::server::test {

TestClient::TestClient(int port, const std::string& ca_file) {
  // A server that closes a connection first must fail the test's write, not end the test.
  ignore_broken_pipe();
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (!ctx_ || SSL_CTX_load_verify_locations(ctx_, ca_file.c_str(), nullptr) != 1) {
    error_ = "cannot load " + ca_file;
    return;
  }
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_mode(ctx_, SSL_MODE_AUTO_RETRY);
  SSL* ssl = SSL_new(ctx_);
  BIO* bio = BIO_new_connect(("127.0.0.1:" + std::to_string(port)).c_str());
  if (!ssl || !bio) {
    SSL_free(ssl);
    BIO_free(bio);
    error_ = "cannot create the connection";
    return;
  }
  if (BIO_do_connect(bio) <= 0) {
    SSL_free(ssl);
    BIO_free(bio);
    error_ = "cannot connect";
    return;
  }
  SSL_set_bio(ssl, bio, bio);
  SSL_set1_host(ssl, "127.0.0.1");
  if (SSL_connect(ssl) != 1) {
    char buf[256];
    ERR_error_string_n(ERR_get_error(), buf, sizeof buf);
    error_ = std::string("handshake failed: ") + buf;
    SSL_free(ssl);
    return;
  }
  ssl_ = ssl;
}

TestClient::~TestClient() {
  SSL_free(ssl_);
  SSL_CTX_free(ctx_);
}

bool TestClient::send(std::string_view bytes) {
  return ssl_ && SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) ==
                     static_cast<int>(bytes.size());
}

bool TestClient::send_at_once(const std::vector<std::string>& messages) {
  if (!ssl_) return false;
  // The records are made into memory, then the socket takes them back as the write side.
  BIO* socket = SSL_get_rbio(ssl_);
  BIO_up_ref(socket);
  SSL_set0_wbio(ssl_, BIO_new(BIO_s_mem()));
  bool made = true;
  for (const std::string& m : messages) made = made && send(m);
  char* records = nullptr;
  long size = BIO_get_mem_data(SSL_get_wbio(ssl_), &records);
  bool sent = made && size > 0 && BIO_write(socket, records, static_cast<int>(size)) == size;
  SSL_set0_wbio(ssl_, socket);
  return sent;
}

std::optional<std::string> TestClient::recv(int timeout_s) {
  if (!ssl_) return std::string();
  if (SSL_pending(ssl_) == 0) {
    int ready = BIO_socket_wait(SSL_get_fd(ssl_), 1, std::time(nullptr) + timeout_s);
    if (ready == 0) return std::nullopt;
  }
  char buf[8192];
  int n = SSL_read(ssl_, buf, sizeof buf);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

int TestClient::greet_and_login(const std::string& login, const std::string& password,
                                int timeout_s) {
  std::optional<std::string> hello = recv(timeout_s);
  if (!hello || hello->size() < 10 || (*hello)[0] != 0 || (*hello)[1] != 0) return -1;
  if (!send(login_message(login, password))) return -1;
  std::optional<std::string> reply = recv(timeout_s);
  if (!reply || reply->size() < 3 || (*reply)[0] != 0 || (*reply)[1] != 9) return -1;
  return static_cast<uint8_t>((*reply)[2]);
}

RawConnection::RawConnection(int port) {
  ignore_broken_pipe();
  BIO* bio = BIO_new_connect(("127.0.0.1:" + std::to_string(port)).c_str());
  if (bio && BIO_do_connect(bio) > 0) {
    bio_ = bio;
  } else {
    BIO_free(bio);
  }
}

RawConnection::~RawConnection() { BIO_free(bio_); }

bool RawConnection::send(std::string_view bytes) {
  return bio_ && BIO_write(bio_, bytes.data(), static_cast<int>(bytes.size())) ==
                     static_cast<int>(bytes.size());
}

bool RawConnection::closed_within(int timeout_ms) {
  if (!bio_) return true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int fd = static_cast<int>(BIO_get_fd(bio_, nullptr));
  BIO_set_nbio(bio_, 1);
  for (;;) {
    char buf[4096];
    int n = BIO_read(bio_, buf, sizeof buf);
    if (n == 0 || (n < 0 && !BIO_should_retry(bio_))) return true;
    if (n > 0) continue;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Waits at most until the next whole second; the loop then looks again.
    BIO_socket_wait(fd, 1, std::time(nullptr) + 1);
  }
}

Md5 md5(std::string_view bytes) {
  Md5 digest{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &len, EVP_md5(), nullptr);
  return digest;
}

std::string zlib_compress(std::string_view bytes) {
  uLongf len = compressBound(bytes.size());
  std::string out(len, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &len,
            reinterpret_cast<const Bytef*>(bytes.data()), bytes.size(), 9);
  out.resize(len);
  return out;
}

std::string login_message(const std::string& login, const std::string& password) {
  std::string m;
  put_u8(&m, 0x00);
  put_u8(&m, 0x08);
  put_u8(&m, 0x01);
  put_u8(&m, 0x01);
  put_u16(&m, 0);
  put_u16(&m, 0x0D);
  put_u8(&m, 0);
  put_u8(&m, 0);
  put_fixed_text(&m, login, 32);
  put_u8(&m, 0);
  put_fixed_text(&m, password, 32);
  put_u8(&m, 0);
  return m;
}

std::string profile_get(const std::string& tag) {
  std::string m("\x01\x02", 2);
  m += tag;
  m.push_back('\0');
  return m;
}

std::string catalog_alloc(uint32_t profile_id) {
  std::string m("\x02\x21", 2);
  put_u32(&m, profile_id);
  return m;
}

std::string seg_query(const Md5& key, uint32_t length) {
  std::string m("\x80\x00", 2);
  put_bytes(&m, key.data(), key.size());
  put_u32(&m, length);
  return m;
}

std::string seg_store(const Md5& key, uint32_t length, bool compressed, uint32_t payload_length) {
  std::string m("\x80\x10", 2);
  put_bytes(&m, key.data(), key.size());
  put_u32(&m, length);
  put_u8(&m, compressed ? 1 : 0);
  put_u8(&m, compressed ? 9 : 0);
  put_u32(&m, payload_length);
  return m;
}

std::string seg_data(std::string_view chunk) {
  std::string m("\x80\x12", 2);
  m += chunk;
  return m;
}

std::string seg_ref(const Md5& key, uint32_t catalog_id) {
  std::string m("\x80\x1e", 2);
  put_bytes(&m, key.data(), key.size());
  put_u32(&m, catalog_id);
  return m;
}

std::string catalog_finish(uint32_t catalog_id, const Md5& key, uint64_t size, uint32_t files) {
  std::string m("\x02\x23", 2);
  put_u32(&m, catalog_id);
  put_bytes(&m, key.data(), key.size());
  put_u64(&m, size);
  put_u32(&m, 1700000000);
  put_u32(&m, files);
  put_u32(&m, 2);  // directories
  put_u32(&m, 0);  // special files
  put_u64(&m, 1000);
  put_u64(&m, 900);
  put_u64(&m, 800);
  put_u8(&m, 1);
  put_u8(&m, 1);
  return m;
}

std::string quit_message() { return std::string("\x00\x0f", 2); }

uint32_t u32_at(std::string_view bytes, size_t offset) {
  uint32_t v = 0;
  Reader(bytes).u32(offset, &v);
  return v;
}

std::string catalog_with(const std::string& sql) {
  corvio::test::TempDir dir;
  const std::string path = dir.file("crafted.cat");
  {
    db::Database db;
    EXPECT_EQ(db.open(path), SQLITE_OK);
    for (const CatalogSchemaStep& step : kCatalogSchema) {
      EXPECT_EQ(db.exec(std::string(step.sql)), SQLITE_OK) << step.sql;
    }
    std::string error;
    EXPECT_EQ(db.exec(sql, &error), SQLITE_OK) << error;
  }
  return corvio::test::read_file(path);
}

}  // namespace corvio::server::test
