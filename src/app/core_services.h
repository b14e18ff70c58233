// SPDX-License-Identifier: Apache-2.0
// The real Services: the MD5 cache and the TLS client context, opened by start-up and kept for
// the whole process. The front ends reach both here to run a backup.
#pragma once

#include <memory>

#include "app/services.h"
#include "md5cache/md5cache.h"
#include "net/tls_context.h"

namespace corvio {

class CoreServices : public Services {
 public:
  int md5cache_open(Context& ctx) override;
  void md5cache_close() override;
  int tls_init(const Context& ctx) override;

  // Valid after a successful md5cache_open().
  Md5Cache& md5cache() { return *cache_; }
  const TlsContext& tls() const { return tls_; }

 private:
  std::unique_ptr<Md5Cache> cache_;
  TlsContext tls_;
};

}  // namespace corvio
