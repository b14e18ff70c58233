// SPDX-License-Identifier: Apache-2.0
#include "faults.h"

#include <charconv>

namespace corvio::server {
namespace {

constexpr const char* kReplyNames[kReplyKinds] = {
    "greeting", "login", "profile", "catalog", "query", "store", "stored", "ref", "finish"};

bool parse_number(std::string_view text, int base, uint64_t max, uint64_t* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value, base);
  return ec == std::errc() && ptr == end && *value <= max;
}

// Splits "VALUE[:N]" (or "[=N]" forms, handled by the caller) into the value and the count.
bool split_count(std::string_view text, std::string_view* value, int64_t* count) {
  size_t colon = text.find(':');
  *value = text.substr(0, colon);
  *count = -1;
  if (colon == std::string_view::npos) return true;
  uint64_t n = 0;
  if (!parse_number(text.substr(colon + 1), 10, 1'000'000'000, &n)) return false;
  *count = static_cast<int64_t>(n);
  return true;
}

bool parse_status(std::string_view text, uint8_t* status) {
  uint64_t v = 0;
  if (text.size() != 2 || !parse_number(text, 16, 0xFF, &v)) return false;
  *status = static_cast<uint8_t>(v);
  return true;
}

}  // namespace

std::optional<Reply> reply_from_name(std::string_view name) {
  for (size_t i = 0; i < kReplyKinds; ++i) {
    if (name == kReplyNames[i]) return static_cast<Reply>(i);
  }
  return std::nullopt;
}

const char* reply_name(Reply reply) { return kReplyNames[static_cast<size_t>(reply)]; }

bool FaultCount::take() {
  int64_t left = left_.load();
  for (;;) {
    if (left == kOff || left == 0) return false;
    if (left < 0) return true;  // always
    if (left_.compare_exchange_weak(left, left - 1)) return true;
  }
}

bool parse_fault(std::string_view spec, Faults* faults, std::string* error) {
  *error = "bad fault " + std::string(spec);
  size_t eq = spec.find('=');
  std::string_view name = spec.substr(0, eq);
  std::string_view arg = eq == std::string_view::npos ? std::string_view() : spec.substr(eq + 1);
  bool has_arg = eq != std::string_view::npos;

  // The two faults whose argument is the count alone.
  if (name == "catalog-refuse" || name == "profile-unknown") {
    uint64_t n = 0;
    if (has_arg && !parse_number(arg, 10, 1'000'000'000, &n)) return false;
    FaultCount& count = name == "catalog-refuse" ? faults->catalog_refuse : faults->profile_unknown;
    count.set(has_arg ? static_cast<int64_t>(n) : -1);
    return true;
  }
  if (!has_arg) return false;
  std::string_view value;
  int64_t count = 0;
  if (!split_count(arg, &value, &count)) return false;

  if (name == "login" || name == "store-status") {
    uint8_t status = 0;
    if (!parse_status(value, &status)) return false;
    if (name == "login") {
      faults->login_status = status;
      faults->login.set(count);
    } else {
      faults->store_status_byte = status;
      faults->store_status.set(count);
    }
    return true;
  }
  if (name == "greeting") {
    if (value == "short") {
      faults->greeting_kind = GreetingFault::kShort;
    } else if (value == "badcode") {
      faults->greeting_kind = GreetingFault::kBadCode;
    } else {
      return false;
    }
    faults->greeting.set(count);
    return true;
  }
  if (name == "drop") {
    uint64_t m = 0;
    if (!parse_number(value, 10, 1'000'000'000, &m) || m == 0) return false;
    faults->drop_after = static_cast<uint32_t>(m);
    faults->drop.set(count);
    return true;
  }
  std::array<FaultCount, kReplyKinds>* table = name == "split"      ? &faults->split
                                               : name == "trailing" ? &faults->trailing
                                               : name == "silent"   ? &faults->silent
                                                                    : nullptr;
  std::optional<Reply> reply = reply_from_name(value);
  if (!table || !reply) return false;
  (*table)[static_cast<size_t>(*reply)].set(count);
  return true;
}

}  // namespace corvio::server
