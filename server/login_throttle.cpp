// SPDX-License-Identifier: Apache-2.0
#include "login_throttle.h"

#include <algorithm>

namespace corvio::server {
namespace {

std::string login_key(std::string_view login) { return "login " + std::string(login); }
std::string address_key(std::string_view address) { return "address " + std::string(address); }

}  // namespace

std::chrono::milliseconds LoginThrottle::delay_for(uint32_t failures) const {
  if (failures == 0) return std::chrono::milliseconds(0);
  std::chrono::milliseconds wait = policy_.first_delay;
  for (uint32_t i = 1; i < failures && wait < policy_.max_delay; ++i) wait *= 2;
  return std::min(wait, policy_.max_delay);
}

uint32_t LoginThrottle::failures(const std::string& key, Clock::time_point now) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return 0;
  if (now - it->second.last >= policy_.forget_after) {
    entries_.erase(it);
    return 0;
  }
  return it->second.failures;
}

std::chrono::milliseconds LoginThrottle::delay(std::string_view login, std::string_view address,
                                               Clock::time_point now) {
  std::lock_guard lock(mu_);
  return delay_for(std::max(failures(login_key(login), now), failures(address_key(address), now)));
}

void LoginThrottle::record(std::string_view login, std::string_view address, bool succeeded,
                           Clock::time_point now) {
  std::lock_guard lock(mu_);
  if (succeeded) {
    entries_.erase(login_key(login));
    return;
  }
  for (const std::string& key : {login_key(login), address_key(address)}) {
    uint32_t before = failures(key, now);
    Entry& entry = entries_[key];
    entry.failures = before == UINT32_MAX ? before : before + 1;
    entry.last = now;
  }
  if (entries_.size() > policy_.max_entries) forget_old(now);
}

void LoginThrottle::forget_old(Clock::time_point now) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    it = now - it->second.last >= policy_.forget_after ? entries_.erase(it) : std::next(it);
  }
  while (entries_.size() > policy_.max_entries) {
    auto oldest = std::min_element(
        entries_.begin(), entries_.end(),
        [](const auto& a, const auto& b) { return a.second.last < b.second.last; });
    entries_.erase(oldest);
  }
}

size_t LoginThrottle::entries() {
  std::lock_guard lock(mu_);
  return entries_.size();
}

}  // namespace corvio::server
