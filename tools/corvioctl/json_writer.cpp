// SPDX-License-Identifier: Apache-2.0
#include "json_writer.h"

namespace corvio {
namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 when the byte there starts none.
size_t utf8_length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  uint32_t min;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, min = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, min = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  uint32_t code = lead & (0x3f >> (length - 1));
  for (size_t i = 1; i < length; i++) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3f);
  }
  if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

}  // namespace

std::string json_quote(std::string_view text) {
  std::string quoted = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else if (c >= 0x80) {
      const size_t length = utf8_length(text, i);
      const unsigned char next = length == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
      if (length == 2 && c == 0xc2 && next < 0xa0) {  // a C1 control, U+0080-U+009F
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", next);
        quoted += escaped;
      } else {
        quoted += length ? text.substr(i, length) : "\xef\xbf\xbd";  // U+FFFD
      }
      i += length ? length : 1;
      continue;
    } else {
      quoted += static_cast<char>(c);
    }
    i++;
  }
  return quoted + '"';
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) std::fputc(',', out_);
    first_.back() = false;
  }
}

void JsonWriter::begin_object() {
  before_value();
  std::fputc('{', out_);
  first_.push_back(true);
}

void JsonWriter::end_object() {
  first_.pop_back();
  std::fputc('}', out_);
}

void JsonWriter::begin_array() {
  before_value();
  std::fputc('[', out_);
  first_.push_back(true);
}

void JsonWriter::end_array() {
  first_.pop_back();
  std::fputc(']', out_);
}

void JsonWriter::key(std::string_view name) {
  before_value();
  std::fprintf(out_, "%s:", json_quote(name).c_str());
  after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
  before_value();
  std::fputs(json_quote(text).c_str(), out_);
}

void JsonWriter::number(uint64_t value) {
  before_value();
  std::fprintf(out_, "%llu", static_cast<unsigned long long>(value));
}

void JsonWriter::boolean(bool value) {
  before_value();
  std::fputs(value ? "true" : "false", out_);
}

void JsonWriter::null() {
  before_value();
  std::fputs("null", out_);
}

void JsonWriter::number_or_null(const std::optional<uint64_t>& value) {
  if (value) {
    number(*value);
  } else {
    null();
  }
}

void JsonWriter::string_or_null(const std::optional<std::string>& value) {
  if (value) {
    string(*value);
  } else {
    null();
  }
}

void JsonWriter::finish() { std::fputc('\n', out_); }

}  // namespace corvio
