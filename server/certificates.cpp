// SPDX-License-Identifier: Apache-2.0
#include "certificates.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "os.h"
#include "tls_context.h"
#include "util/openssl_ptr.h"

namespace corvio::server {
namespace {

namespace fs = std::filesystem;

constexpr long kValidDays = 3650;

bool add_ext(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

// A certificate for subject's key with common name cn, signed by issuer_key (self-signed when
// issuer is null), carrying the given extensions.
X509Ptr make_cert(EVP_PKEY* subject_key, const std::string& cn, X509* issuer, EVP_PKEY* issuer_key,
                  const std::vector<std::pair<int, std::string>>& exts) {
  X509Ptr cert(X509_new());
  if (!cert || X509_set_version(cert.get(), 2) != 1) return nullptr;
  // A random positive serial, so two stores never issue the same one.
  std::unique_ptr<BIGNUM, void (*)(BIGNUM*)> serial(BN_new(), BN_free);
  if (!serial || BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
      !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get()))) {
    return nullptr;
  }
  if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) ||
      !X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValidDays * 24 * 3600) ||
      X509_set_pubkey(cert.get(), subject_key) != 1) {
    return nullptr;
  }
  X509_NAME* name = X509_get_subject_name(cert.get());
  if (X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("corvio-server"), -1, -1,
                                 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                                 0) != 1) {
    return nullptr;
  }
  X509* signer = issuer ? issuer : cert.get();
  if (X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)) != 1) return nullptr;
  for (const auto& [nid, value] : exts) {
    if (!add_ext(cert.get(), signer, nid, value)) return nullptr;
  }
  if (X509_sign(cert.get(), issuer_key, EVP_sha256()) <= 0) return nullptr;
  return cert;
}

// Certificates and the key alike are written to files of mode 0600, created so before any
// byte goes in: the store they are kept in is private.
BioPtr create_file(const std::string& path) {
  std::string error;
  FileHandle file = create_private_file(path, &error, /*replace=*/true);
  if (!file) return nullptr;
  BioPtr out(BIO_new_fp(file.get(), BIO_CLOSE));
  if (out) file.release();  // the BIO closes it now
  return out;
}

bool write_cert(const std::string& path, X509* cert) {
  BioPtr out = create_file(path);
  return out && PEM_write_bio_X509(out.get(), cert) == 1 && BIO_flush(out.get()) == 1;
}

bool write_key(const std::string& path, EVP_PKEY* key) {
  BioPtr out = create_file(path);
  return out &&
         PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
         BIO_flush(out.get()) == 1;
}

}  // namespace

bool write_self_signed(const std::string& dir, const std::string& host, std::string* error) {
  std::error_code ec;
  if (fs::exists(dir + "/ca.pem", ec)) {
    *error = dir + "/ca.pem exists already; clients may trust it, so it is not replaced";
    return false;
  }
  // An address gets an IP entry, anything else a DNS entry: clients check the one they dialled.
  ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
  std::string san = (ip ? "IP:" : "DNS:") + host;
  ASN1_OCTET_STRING_free(ip);

  PkeyPtr ca_key(EVP_EC_gen("P-256"));
  PkeyPtr server_key(EVP_EC_gen("P-256"));
  if (!ca_key || !server_key) {
    *error = "cannot generate keys: " + drain_ssl_errors();
    return false;
  }
  X509Ptr ca = make_cert(ca_key.get(), "corvio-server test CA", nullptr, ca_key.get(),
                         {{NID_basic_constraints, "critical,CA:TRUE"},
                          {NID_key_usage, "critical,keyCertSign,cRLSign"},
                          {NID_subject_key_identifier, "hash"}});
  X509Ptr server = ca ? make_cert(server_key.get(), host, ca.get(), ca_key.get(),
                                  {{NID_basic_constraints, "critical,CA:FALSE"},
                                   {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                                   {NID_ext_key_usage, "serverAuth"},
                                   {NID_subject_key_identifier, "hash"},
                                   {NID_authority_key_identifier, "keyid:always"},
                                   {NID_subject_alt_name, san}})
                      : nullptr;
  if (!ca || !server) {
    *error = "cannot make certificates: " + drain_ssl_errors();
    return false;
  }
  if (!write_key(dir + "/server.key", server_key.get()) ||
      !write_cert(dir + "/server.pem", server.get()) || !write_cert(dir + "/ca.pem", ca.get())) {
    *error = "cannot write the certificate files in " + dir;
    return false;
  }
  return true;
}

}  // namespace corvio::server
