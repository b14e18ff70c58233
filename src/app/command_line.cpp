// SPDX-License-Identifier: Apache-2.0
#include "app/command_line.h"

#include "util/text.h"

namespace corvio {

CommandLine parse_command_line(std::string_view text) {
  CommandLine result;
  std::string line = bounded(text, kCommandLineChars);
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    std::string_view piece(line.data() + start, end - start);
    if (piece == "/exitwhendone") {
      result.exit_when_done = true;
    } else if (piece.substr(0, 5) == "/run:") {
      result.run_requested = true;
      result.run_tag = std::string(piece.substr(5));
    }
    start = end + 1;
  }
  return result;
}

std::string join_arguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; i++) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace corvio
