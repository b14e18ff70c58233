// SPDX-License-Identifier: Apache-2.0
#include "util/text.h"

#include <limits>

namespace corvio {

std::string bounded(std::string_view text, size_t max_chars) {
  return std::string(text.substr(0, max_chars));
}

int32_t parse_decimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  if (negative) value = value == kMax ? std::numeric_limits<int64_t>::min() : -value;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

namespace {

// The length of the valid UTF-8 sequence at the start of text, or 0 when there is none.
size_t utf8_sequence(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf)
    length = 2;
  else if (lead >= 0xe0 && lead <= 0xef)
    length = 3;
  else if (lead >= 0xf0 && lead <= 0xf4)
    length = 4;
  else
    return 0;
  if (lead == 0xe0) low = 0xa0;   // no overlong forms
  if (lead == 0xed) high = 0x9f;  // no surrogates
  if (lead == 0xf0) low = 0x90;
  if (lead == 0xf4) high = 0x8f;  // nothing above U+10FFFF
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
  return length;
}

// Control characters as \xHH, and with broken_too the bytes of broken sequences as well.
std::string escaped(std::string_view text, bool broken_too) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  while (!text.empty()) {
    size_t length = utf8_sequence(text);
    const auto lead = static_cast<unsigned char>(text[0]);
    const bool control =
        lead < 0x20 || lead == 0x7f ||
        (length == 2 && lead == 0xc2 && static_cast<unsigned char>(text[1]) < 0xa0);
    if (length == 0 && !broken_too) length = 1;  // kept as it is
    if (length == 0 || control) {
      // Each byte of a control character or of a broken sequence is shown on its own.
      for (size_t i = 0; i < (length == 0 ? 1 : length); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
      text.remove_prefix(length == 0 ? 1 : length);
      continue;
    }
    out.append(text.substr(0, length));
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace

std::string printable(std::string_view text) { return escaped(text, true); }

std::string escape_controls(std::string_view text) { return escaped(text, false); }

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace corvio
