// SPDX-License-Identifier: Apache-2.0
#include "certificates.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <memory>

#include "support/temp_dir.h"
#include "tls_context.h"

namespace corvio::server {
namespace {

namespace fs = std::filesystem;

X509Ptr load(const std::string& path) {
  BioPtr in(BIO_new_file(path.c_str(), "r"));
  return X509Ptr(in ? PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr) : nullptr);
}

// True when cert verifies as a TLS server certificate against ca alone.
bool chains_to(X509* cert, X509* ca) {
  std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), X509_STORE_free);
  std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> ctx(X509_STORE_CTX_new(),
                                                                      X509_STORE_CTX_free);
  X509_STORE_add_cert(store.get(), ca);
  X509_STORE_CTX_init(ctx.get(), store.get(), cert, nullptr);
  X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SSL_SERVER);
  return X509_verify_cert(ctx.get()) == 1;
}

TEST(CertificatesTest, AddressCertificateChainsToItsCa) {
  corvio::test::TempDir dir;
  std::string error;
  ASSERT_TRUE(write_self_signed(dir.path(), "127.0.0.1", &error)) << error;
  X509Ptr ca = load(dir.file("ca.pem"));
  X509Ptr server = load(dir.file("server.pem"));
  ASSERT_TRUE(ca && server);
  EXPECT_TRUE(chains_to(server.get(), ca.get()));
  EXPECT_EQ(X509_check_ip_asc(server.get(), "127.0.0.1", 0), 1);
  EXPECT_EQ(X509_check_ip_asc(server.get(), "127.0.0.2", 0), 0);
  // The key file is the certificate's key, and only its owner may read it.
  SslCtxPtr ctx = make_server_context(dir.file("server.pem"), dir.file("server.key"), &error);
  EXPECT_TRUE(ctx) << error;
  EXPECT_EQ(fs::status(dir.file("server.key")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(CertificatesTest, NameCertificateAndAnotherStoresCa) {
  corvio::test::TempDir one;
  corvio::test::TempDir two;
  std::string error;
  ASSERT_TRUE(write_self_signed(one.path(), "backup.example", &error)) << error;
  ASSERT_TRUE(write_self_signed(two.path(), "backup.example", &error)) << error;
  X509Ptr server = load(one.file("server.pem"));
  ASSERT_TRUE(server);
  EXPECT_EQ(X509_check_host(server.get(), "backup.example", 0, 0, nullptr), 1);
  EXPECT_EQ(X509_check_host(server.get(), "other.example", 0, 0, nullptr), 0);
  // A CA of another store does not vouch for this certificate.
  X509Ptr other_ca = load(two.file("ca.pem"));
  EXPECT_FALSE(chains_to(server.get(), other_ca.get()));
  // The CA of a store is never replaced: clients may already trust it.
  std::string ca_before = corvio::test::read_file(one.file("ca.pem"));
  EXPECT_FALSE(write_self_signed(one.path(), "backup.example", &error));
  EXPECT_EQ(corvio::test::read_file(one.file("ca.pem")), ca_before);
}

TEST(CertificatesTest, MismatchedKeyIsRefused) {
  corvio::test::TempDir one;
  corvio::test::TempDir two;
  std::string error;
  ASSERT_TRUE(write_self_signed(one.path(), "127.0.0.1", &error)) << error;
  ASSERT_TRUE(write_self_signed(two.path(), "127.0.0.1", &error)) << error;
  EXPECT_FALSE(make_server_context(one.file("server.pem"), two.file("server.key"), &error));
  EXPECT_NE(error.find("cannot load key"), std::string::npos) << error;
}

}  // namespace
}  // namespace corvio::server
