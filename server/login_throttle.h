// SPDX-License-Identifier: Apache-2.0
// Slows down the guessing of passwords. Every failed login is counted against the login name it
// tried and against the address it came from; an attempt for a name or from an address with
// failures behind it waits before its password is checked, the longer the more failures, up to
// a cap. A success clears its login name's count (not its address's: a guesser who owns one
// login must not reset the count of the address it guesses from). Counts are forgotten after a
// quiet spell, and the table is bounded, so that made-up names cannot fill the memory.
//
// Names that are no login are counted like the others, so the delays do not tell which logins
// exist either. The counts live in memory only and start afresh with the server.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace corvio::server {

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  struct Policy {
    // The wait after one failure; it doubles with each further failure, up to max_delay.
    std::chrono::milliseconds first_delay{200};
    std::chrono::milliseconds max_delay{10000};
    // A count with no new failure for this long is dropped.
    std::chrono::seconds forget_after{15 * 60};
    // Most names and addresses counted at once; past it the oldest are dropped.
    size_t max_entries = 10000;
  };

  LoginThrottle() = default;
  explicit LoginThrottle(const Policy& policy) : policy_(policy) {}

  // How long an attempt for login from address waits before its check.
  std::chrono::milliseconds delay(std::string_view login, std::string_view address,
                                  Clock::time_point now);
  // Records an attempt's outcome.
  void record(std::string_view login, std::string_view address, bool succeeded,
              Clock::time_point now);

  // The wait for a count of failures.
  std::chrono::milliseconds delay_for(uint32_t failures) const;
  size_t entries();

 private:
  struct Entry {
    uint32_t failures = 0;
    Clock::time_point last;
  };
  uint32_t failures(const std::string& key, Clock::time_point now);  // lock held
  void forget_old(Clock::time_point now);                            // lock held

  Policy policy_;
  std::mutex mu_;
  std::map<std::string, Entry> entries_;  // "login " + name, "address " + address
};

}  // namespace corvio::server
