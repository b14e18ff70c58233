// SPDX-License-Identifier: Apache-2.0
// The server's log: lines on standard error. Texts that a client chose (a login, a profile tag)
// are written through quote_for_log(), so that no byte of theirs can end a line or start a forged
// one.
#pragma once

#include <string>
#include <string_view>

namespace corvio::server {

// text in double quotes, with the quote and the backslash escaped by a backslash and every byte
// outside printable ASCII (control characters, DEL, bytes of 0x80 and above) written as \n, \r,
// \t or \xHH: the result is one line of printable ASCII.
std::string quote_for_log(std::string_view text);

// Writes text and a line end to standard error in one piece. Safe from any thread.
void log_line(const std::string& text);

}  // namespace corvio::server
