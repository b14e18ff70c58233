// SPDX-License-Identifier: Apache-2.0
// Both local databases key rows by path. Under the Windows style path columns are declared
// "collate nocase" (and paths are lower-cased before use); under the POSIX style letter case
// counts, so the same statements are created without the collation.
#pragma once

#include <string>
#include <string_view>

#include "platform/path_style.h"

namespace corvio {

// sql as written for the Windows style, or with every " collate nocase" removed when the style
// keeps letter case.
inline std::string with_path_collation(std::string_view sql, const PathStyle& style) {
  std::string out(sql);
  if (style.fold_case) return out;
  static constexpr std::string_view kNocase = " collate nocase";
  for (size_t at = out.find(kNocase); at != std::string::npos; at = out.find(kNocase, at)) {
    out.erase(at, kNocase.size());
  }
  return out;
}

}  // namespace corvio
