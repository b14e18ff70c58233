// SPDX-License-Identifier: Apache-2.0
// Faults the server can inject on purpose, so that a client's handling of a misbehaving server
// can be tested against the real program. Chosen with repeated --fault SPEC options:
//
//   login=HH[:N]            the first N login replies carry status byte HH (hex)
//   greeting=short[:N]      the greeting is 9 bytes long
//   greeting=badcode[:N]    the greeting has a wrong code byte
//   catalog-refuse[=N]      the first N catalog allocations are refused
//   split=REPLY[:N]         the first N replies of that kind go in two writes, 50 ms apart
//   trailing=REPLY[:N]      the first N replies of that kind carry 7 extra bytes
//   drop=M[:N]              on N connections, close after receiving the M-th client message
//   silent=REPLY[:N]        the first N requests answered by that kind get no reply
//   profile-unknown[=N]     profile requests are answered with MSG_PROFILE_UNKNOWN
//   store-status=HH[:N]     the first N block-store replies carry status byte HH
//
// REPLY is one of greeting, login, profile, catalog, query, store, stored, ref, finish. Without
// N a fault applies always. Each count is shared by all connections and goes down by one each
// time its fault is applied.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvio::server {

enum class Reply { kGreeting, kLogin, kProfile, kCatalog, kQuery, kStore, kStored, kRef, kFinish };
inline constexpr size_t kReplyKinds = 9;

std::optional<Reply> reply_from_name(std::string_view name);
const char* reply_name(Reply reply);

// How many more times a fault applies: off, a count, or always.
class FaultCount {
 public:
  void set(int64_t times) { left_.store(times); }  // -1: always
  // True, using up one application, when the fault applies now.
  bool take();

 private:
  static constexpr int64_t kOff = -2;
  std::atomic<int64_t> left_{kOff};
};

enum class GreetingFault { kShort, kBadCode };

struct Faults {
  FaultCount login;
  uint8_t login_status = 0;
  FaultCount greeting;
  GreetingFault greeting_kind = GreetingFault::kShort;
  FaultCount catalog_refuse;
  std::array<FaultCount, kReplyKinds> split;
  std::array<FaultCount, kReplyKinds> trailing;
  std::array<FaultCount, kReplyKinds> silent;
  FaultCount drop;
  uint32_t drop_after = 0;
  FaultCount profile_unknown;
  FaultCount store_status;
  uint8_t store_status_byte = 0;
};

// Adds one SPEC to *faults. False, with *error set, when it is malformed.
bool parse_fault(std::string_view spec, Faults* faults, std::string* error);

}  // namespace corvio::server
