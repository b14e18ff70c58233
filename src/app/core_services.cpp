// SPDX-License-Identifier: Apache-2.0
#include "app/core_services.h"

namespace corvio {

int CoreServices::md5cache_open(Context& ctx) {
  cache_ = std::make_unique<Md5Cache>(ctx);
  return cache_->open();
}

void CoreServices::md5cache_close() {
  if (cache_) cache_->close();
}

int CoreServices::tls_init(const Context& ctx) { return tls_.init(ctx); }

}  // namespace corvio
