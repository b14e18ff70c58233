// Text from files, made safe to print on a terminal: CR LF becomes LF, and every other control
// character but tab and newline (a lone CR, ESC, DEL, ...) becomes \xNN, so a log or a message
// read from a damaged file cannot move the cursor, clear the screen or change colours.
// Backslashes are left alone: logs are full of Windows paths.
#pragma once

#include <string>
#include <string_view>

namespace corvio {

// Fed in pieces, so a large file need not be held whole; a CR at the end of one piece is held
// back until the next one shows whether an LF follows it.
class PrintableText {
 public:
  std::string feed(std::string_view piece);
  // What is still held back; call once after the last piece.
  std::string finish();

 private:
  bool held_cr_ = false;
};

// A whole text at once.
std::string printable(std::string_view text);

}  // namespace corvio
