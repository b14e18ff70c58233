// SPDX-License-Identifier: Apache-2.0
// The update file: ini_get_string on arbitrary INI text, section, key and buffer size, and the
// version compare on the "filever" value read from it. A value found must fit its buffer and be
// taken from one line of the text; plain dotted versions must compare as numbers.
#include <cstdint>
#include <optional>
#include <string>

#include "base/version.h"
#include "fuzz_check.h"
#include "net/update_check.h"
#include "util/ini.h"

using namespace corvio;

namespace {

// "A.B.C.D" with one to nine digits in each number: the version it names, compared by value.
std::optional<bool> plain_version_newer(const std::string& s) {
  uint64_t v[4] = {};
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    size_t digits = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && digits < 10) {
      v[i] = v[i] * 10 + static_cast<uint64_t>(s[pos++] - '0');
      ++digits;
    }
    if (digits == 0 || digits > 9) return std::nullopt;
    if (i < 3 && (pos >= s.size() || s[pos++] != '.')) return std::nullopt;
  }
  if (pos != s.size()) return std::nullopt;
  if (v[0] != kVersionMajor) return v[0] > kVersionMajor;
  if (v[1] != kVersionMinor) return v[1] > kVersionMinor;
  return v[2] > kVersionBuild;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  size_t buffer_size = in.byte();
  std::string section = in.text();
  std::string key = in.text();
  std::string text = in.rest();

  std::string value = ini_get_string(text, section, key, buffer_size);
  FUZZ_CHECK(value.empty() || value.size() < buffer_size);
  FUZZ_CHECK(value.find('\n') == std::string::npos);
  FUZZ_CHECK(value.empty() || text.find(value) != std::string::npos);

  std::string filever = ini_get_string(text, "corvio-windows", "filever", 255);
  bool newer = update_filever_newer(filever);
  std::optional<bool> expected = plain_version_newer(filever);
  if (expected) FUZZ_CHECK(newer == *expected);
  update_filever_newer(text);
  return 0;
}
