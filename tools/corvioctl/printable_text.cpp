#include "printable_text.h"

#include <cstdio>

namespace corvio {
namespace {

void append_escaped(std::string& out, unsigned char c) {
  if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7f) {
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02x", c);
    out += code;
  } else {
    out += static_cast<char>(c);
  }
}

}  // namespace

std::string PrintableText::feed(std::string_view piece) {
  std::string out;
  out.reserve(piece.size());
  for (char c : piece) {
    if (held_cr_) {
      held_cr_ = false;
      if (c == '\n') {
        out += '\n';
        continue;
      }
      append_escaped(out, '\r');
    }
    if (c == '\r') {
      held_cr_ = true;
    } else {
      append_escaped(out, static_cast<unsigned char>(c));
    }
  }
  return out;
}

std::string PrintableText::finish() {
  std::string out;
  if (held_cr_) append_escaped(out, '\r');
  held_cr_ = false;
  return out;
}

std::string printable(std::string_view text) {
  PrintableText p;
  return p.feed(text) + p.finish();
}

}  // namespace corvio
