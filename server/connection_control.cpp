// SPDX-License-Identifier: Apache-2.0
#include "connection_control.h"

namespace corvio::server {

void ConnectionControl::set_deadline(Clock::duration d) {
  std::lock_guard lock(mu_);
  deadline_ = Clock::now() + d;
}

void ConnectionControl::clear_deadline() {
  std::lock_guard lock(mu_);
  deadline_.reset();
}

bool ConnectionControl::expire_if_due(Clock::time_point now) {
  std::lock_guard lock(mu_);
  if (!deadline_ || now < *deadline_) return false;
  deadline_.reset();
  timed_out_ = true;
  return true;
}

bool ConnectionControl::timed_out() const {
  std::lock_guard lock(mu_);
  return timed_out_;
}

bool ConnectionControl::wait(Clock::duration d) {
  std::unique_lock lock(mu_);
  return !cv_.wait_for(lock, d, [&] { return stopped_; });
}

void ConnectionControl::stop() {
  {
    std::lock_guard lock(mu_);
    stopped_ = true;
  }
  cv_.notify_all();
}

}  // namespace corvio::server
