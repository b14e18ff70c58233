// SPDX-License-Identifier: Apache-2.0
#include "util/pem.h"

#include <cstdint>

namespace corvio {
namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";
constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int digit_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Base64 with line breaks and blanks between the characters; '=' only at the end, and the
// whole a multiple of four characters.
bool decode_base64(std::string_view body, std::string* out) {
  uint32_t bits = 0;
  int count = 0;
  int padding = 0;
  for (char c : body) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
    if (c == '=') {
      ++padding;
      ++count;
      continue;
    }
    const int v = digit_value(c);
    if (v < 0 || padding > 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count % 4 == 0) {
      out->push_back(static_cast<char>(bits >> 16));
      out->push_back(static_cast<char>(bits >> 8));
      out->push_back(static_cast<char>(bits));
      bits = 0;
    }
  }
  if (count % 4 != 0 || padding > 2) return false;
  if (padding > 0) {
    // The last group held 4 - padding digits: 1 or 2 bytes.
    bits <<= 6 * padding;
    out->push_back(static_cast<char>(bits >> 16));
    if (padding == 1) out->push_back(static_cast<char>(bits >> 8));
  }
  return true;
}

}  // namespace

bool read_pem(std::string_view text, std::vector<PemBlock>* blocks, std::string* error) {
  size_t at = 0;
  for (;;) {
    const size_t begin = text.find(kBegin, at);
    if (begin == std::string_view::npos) return true;
    const size_t label_at = begin + kBegin.size();
    const size_t label_end = text.find(kDashes, label_at);
    const size_t line_end = text.find('\n', label_at);
    if (label_end == std::string_view::npos || label_end > line_end) {
      *error = "a PEM block is damaged";
      return false;
    }
    PemBlock block;
    block.label = std::string(text.substr(label_at, label_end - label_at));
    const std::string end_line = std::string(kEnd) + block.label + std::string(kDashes);
    const size_t body_at = label_end + kDashes.size();
    const size_t end = text.find(end_line, body_at);
    if (end == std::string_view::npos ||
        !decode_base64(text.substr(body_at, end - body_at), &block.der) || block.der.empty()) {
      *error = "a PEM block is damaged";
      return false;
    }
    blocks->push_back(std::move(block));
    at = end + end_line.size();
  }
}

std::string write_pem(const PemBlock& block) {
  std::string b64;
  const std::string& d = block.der;
  for (size_t i = 0; i < d.size(); i += 3) {
    uint32_t bits = static_cast<uint8_t>(d[i]) << 16;
    if (i + 1 < d.size()) bits |= static_cast<uint8_t>(d[i + 1]) << 8;
    if (i + 2 < d.size()) bits |= static_cast<uint8_t>(d[i + 2]);
    b64.push_back(kDigits[(bits >> 18) & 63]);
    b64.push_back(kDigits[(bits >> 12) & 63]);
    b64.push_back(i + 1 < d.size() ? kDigits[(bits >> 6) & 63] : '=');
    b64.push_back(i + 2 < d.size() ? kDigits[bits & 63] : '=');
  }
  std::string out = std::string(kBegin) + block.label + std::string(kDashes) + "\n";
  for (size_t i = 0; i < b64.size(); i += 64) out += b64.substr(i, 64) + "\n";
  out += std::string(kEnd) + block.label + std::string(kDashes) + "\n";
  return out;
}

}  // namespace corvio
