// SPDX-License-Identifier: Apache-2.0
// A small JSON writer for the --json outputs of corvioctl: one document, written as it is built,
// with the commas between members placed for the caller.
//
// Strings are written as valid UTF-8 whatever the stored bytes are: '"', '\' and the control
// characters are escaped, and a byte that is not part of valid UTF-8 becomes U+FFFD, so that a
// hand-edited profile cannot break the document a script parses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvio {

// The JSON string literal of text, quotes included.
std::string json_quote(std::string_view text);

class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}

  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // Names the next value inside an object.
  void key(std::string_view name);
  void string(std::string_view text);
  void number(uint64_t value);
  void boolean(bool value);
  void null();
  // The value, or null when absent.
  void number_or_null(const std::optional<uint64_t>& value);
  void string_or_null(const std::optional<std::string>& value);
  // Ends the document with a line feed.
  void finish();

 private:
  void before_value();

  std::FILE* out_;
  std::vector<bool> first_;  // per open object or array: no member written yet
  bool after_key_ = false;
};

}  // namespace corvio
