// SPDX-License-Identifier: Apache-2.0
// Small text helpers shared by every subsystem: bounded copies into fixed-width fields,
// the lenient decimal reading used for stored settings, and ASCII case folding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvio {

// Returns at most max_chars bytes of text. Stored texts have fixed widths (a tag holds 31
// characters, a rule path 1023); an over-long value from a hand-edited database is cut, never
// allowed to grow past its width.
std::string bounded(std::string_view text, size_t max_chars);

// Reads a decimal the way stored settings are read: optional leading blanks, an optional sign,
// then digits; anything after the number is ignored and text without digits gives 0. The value
// is that of a 32-bit int (numbers beyond 32 bits saturate to the 64-bit range first, then keep
// their low 32 bits, as the C library's atoi does).
int32_t parse_decimal(std::string_view text);

// Turns the ASCII letters A-Z into a-z; nothing else changes.
std::string lower_ascii(std::string_view text);

// The text as it may be printed on a terminal: control characters (C0, DEL and the C1 range
// U+0080-U+009F) and bytes that are not part of valid UTF-8 become \xHH, so that a stored
// value cannot move the cursor or rewrite the screen. Everything else is kept as it is.
std::string printable(std::string_view text);

// The text with its control characters (as printable() finds them) written as \xHH and every
// other byte kept, broken UTF-8 included: a file name in the run's log, which must not start a
// line of its own, and which is otherwise written exactly as the file system gave it.
std::string escape_controls(std::string_view text);

// True when a and b are equal ignoring the letter case of A-Z.
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

}  // namespace corvio
