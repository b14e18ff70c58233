// SPDX-License-Identifier: Apache-2.0
// The profile's exclude rules. A rule is a wildcard pattern ('*' any run of characters, path
// separators included; '?' any one character) that matches as a prefix: a '*' is appended to
// it before matching. Under the Windows style letters match without regard to case; under
// the POSIX style case counts, as it does for the file system.
//
// The matcher has no length limit and no fixed buffer: rules and paths of any length are
// matched in full, in time proportional to their lengths' product.
#pragma once

#include <string_view>

#include "platform/path_style.h"

namespace corvio {

// True when pattern matches the whole of text, comparing characters exactly.
bool wildcard_match(std::string_view text, std::string_view pattern);

// 1 when rule, with '*' appended, matches the whole text (folded first under the Windows
// style); 0 when it does not or when either is empty.
int exclude_match(const PathStyle& style, std::string_view text, std::string_view rule);

// True when path is dir or lies below it, comparing as the style does (letter case folded under
// the Windows style); a trailing separator of either does not count. False for an empty dir.
bool within(const PathStyle& style, std::string_view path, std::string_view dir);

}  // namespace corvio
