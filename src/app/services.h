// SPDX-License-Identifier: Apache-2.0
// The process-wide services start-up opens that belong to other subsystems: the MD5 cache and
// the TLS client context. Start-up reaches them through this interface so that its order and
// its failure exits can be tested with a fake.
#pragma once

namespace corvio {

struct Context;

class Services {
 public:
  virtual ~Services() = default;
  // 0 when md5cache.dat is open and has its tables; otherwise the reason has been shown.
  virtual int md5cache_open(Context& ctx) = 0;
  // Writes queued cache entries and closes the cache.
  virtual void md5cache_close() = 0;
  // 0 when the TLS client context exists; otherwise the reason has been shown.
  virtual int tls_init(const Context& ctx) = 0;
};

}  // namespace corvio
