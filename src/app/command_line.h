// SPDX-License-Identifier: Apache-2.0
// The program's command line: "/run:TAG" runs one profile unattended, "/exitwhendone" closes
// the program shortly after a completed run.
#pragma once

#include <string>
#include <string_view>

namespace corvio {

inline constexpr size_t kCommandLineChars = 1023;

struct CommandLine {
  bool run_requested = false;
  std::string run_tag;  // from the last "/run:"; possibly empty
  bool exit_when_done = false;
};

// Reads at most 1023 characters and cuts them at every single space: two spaces give an empty
// piece, which matches nothing, and quotation marks mean nothing. Both switches are
// case-sensitive.
CommandLine parse_command_line(std::string_view text);

// The arguments after the program name as one text, separated by single spaces.
std::string join_arguments(int argc, const char* const* argv);

}  // namespace corvio
