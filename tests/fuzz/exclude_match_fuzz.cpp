// SPDX-License-Identifier: Apache-2.0
// wildcard_match and exclude_match on arbitrary rules and paths. Short inputs are also matched
// by a plain recursive matcher, so a wrong answer is a finding, not only a crash.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/exclude_match.h"
#include "fuzz_check.h"

using namespace corvio;

namespace {

// '*' any run of characters, '?' any one, everything else itself: the definition, tried out
// choice by choice.
bool reference_match(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    // A run of stars is one star; without this the tries multiply with every star.
    pattern = pattern.substr(pattern.find_first_not_of('*') == std::string_view::npos
                                 ? pattern.size() - 1
                                 : pattern.find_first_not_of('*') - 1);
    return reference_match(text, pattern.substr(1)) ||
           (!text.empty() && reference_match(text.substr(1), pattern));
  }
  return !text.empty() && (pattern[0] == '?' || pattern[0] == text[0]) &&
         reference_match(text.substr(1), pattern.substr(1));
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = fold(c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  std::string rule = in.text();
  std::string path = in.rest();

  bool matched = wildcard_match(path, rule);
  int posix = exclude_match(PathStyle::posix(), path, rule);
  int windows = exclude_match(PathStyle::windows(), path, rule);
  FUZZ_CHECK(posix == 0 || posix == 1);
  FUZZ_CHECK(windows == 0 || windows == 1);
  if (path.empty() || rule.empty()) FUZZ_CHECK(posix == 0 && windows == 0);
  // A rule is a prefix: whatever matches whole also matches with '*' appended.
  if (matched && !path.empty() && !rule.empty()) FUZZ_CHECK(posix == 1);
  if (posix == 1) FUZZ_CHECK(windows == 1);

  // The recursion is exponential in the stars; keep it to inputs it finishes quickly.
  if (rule.size() <= 12 && path.size() <= 20) {
    FUZZ_CHECK(matched == reference_match(path, rule));
    if (!path.empty() && !rule.empty()) {
      FUZZ_CHECK(posix == reference_match(path, rule + "*"));
      FUZZ_CHECK(windows == reference_match(folded(path), folded(rule) + "*"));
    }
  }
  return 0;
}
