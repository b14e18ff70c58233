// SPDX-License-Identifier: Apache-2.0
// Reading one value from the text of an INI file, the way the Windows profile-string reader
// does: "[section]" lines open sections, "key=value" lines give values, ';' starts a comment
// line; names match without regard to letter case, blanks around names and values are
// dropped, and a value enclosed in a pair of matching quotes loses them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvio {

// The value of the first key of that name in a section of that name, cut to fit a buffer of
// buffer_size bytes with its terminator (so at most buffer_size - 1 characters); empty when
// there is none. Lines end with "\n" or "\r\n".
std::string ini_get_string(std::string_view text, std::string_view section, std::string_view key,
                           size_t buffer_size);

}  // namespace corvio
