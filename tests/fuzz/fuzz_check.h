// SPDX-License-Identifier: Apache-2.0
// What every fuzz target shares: a check that aborts, so that a wrong result is a finding like
// a crash in both the libFuzzer build and the replay, and a reader that takes typed values off
// the front of the input (zero once the input is used up).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace corvio::fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  bool empty() const { return rest_.empty(); }
  uint8_t byte() {
    if (rest_.empty()) return 0;
    uint8_t b = static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
    return v;
  }
  // A length byte, then that many bytes (fewer when the input ends first).
  std::string text() { return take(byte()); }
  // The same with a two-byte length, for texts past a field's width.
  std::string long_text() {
    size_t n = byte();
    return take(n | static_cast<size_t>(byte()) << 8);
  }
  std::string take(size_t n) {
    std::string out(rest_.substr(0, n));
    rest_.remove_prefix(out.size());
    return out;
  }
  std::string rest() { return take(rest_.size()); }

 private:
  std::string_view rest_;
};

}  // namespace corvio::fuzz
