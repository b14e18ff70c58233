// SPDX-License-Identifier: Apache-2.0
// Owners of OpenSSL objects: each frees its object with the library's own function when it
// goes. A BIO is freed with its whole chain (for a single BIO that is the same as BIO_free), and
// an SSL object frees the BIOs attached to it.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace corvio {

template <auto Free>
struct OpensslFree {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

using SslPtr = std::unique_ptr<SSL, OpensslFree<SSL_free>>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, OpensslFree<SSL_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, OpensslFree<BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, OpensslFree<X509_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpensslFree<EVP_PKEY_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpensslFree<EVP_MD_CTX_free>>;
using Asn1OctetStringPtr = std::unique_ptr<ASN1_OCTET_STRING, OpensslFree<ASN1_OCTET_STRING_free>>;

}  // namespace corvio
