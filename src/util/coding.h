// SPDX-License-Identifier: Apache-2.0
// Little-endian integers on the wire. Writers append to a byte string; the Reader checks every
// read against the bytes it was given, so a short or malformed message can never be read past
// its end. Messages are built field by field with these, never by copying a struct.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace corvio {

inline void put_u8(std::string* dst, uint8_t v) { dst->push_back(static_cast<char>(v)); }

inline void put_u16(std::string* dst, uint16_t v) {
  put_u8(dst, static_cast<uint8_t>(v));
  put_u8(dst, static_cast<uint8_t>(v >> 8));
}

inline void put_u32(std::string* dst, uint32_t v) {
  for (int i = 0; i < 4; ++i) put_u8(dst, static_cast<uint8_t>(v >> (8 * i)));
}

inline void put_u64(std::string* dst, uint64_t v) {
  for (int i = 0; i < 8; ++i) put_u8(dst, static_cast<uint8_t>(v >> (8 * i)));
}

inline void put_bytes(std::string* dst, const void* p, size_t n) {
  dst->append(static_cast<const char*>(p), n);
}

// A fixed-width text field: the first width bytes of text, the rest filled with 0.
inline void put_fixed_text(std::string* dst, std::string_view text, size_t width) {
  std::string_view cut = text.substr(0, width);
  dst->append(cut.data(), cut.size());
  dst->append(width - cut.size(), '\0');
}

// Reads fields at fixed offsets of a received message.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  size_t size() const { return bytes_.size(); }
  bool has(size_t offset, size_t n) const { return offset <= bytes_.size() && n <= bytes_.size() - offset; }

  // Each returns false, leaving *v unchanged, when the field lies beyond the message.
  bool u8(size_t offset, uint8_t* v) const {
    if (!has(offset, 1)) return false;
    *v = static_cast<uint8_t>(bytes_[offset]);
    return true;
  }
  bool u16(size_t offset, uint16_t* v) const { return le(offset, 2, v); }
  bool u32(size_t offset, uint32_t* v) const { return le(offset, 4, v); }
  bool u64(size_t offset, uint64_t* v) const { return le(offset, 8, v); }
  bool bytes(size_t offset, void* out, size_t n) const {
    if (!has(offset, n)) return false;
    std::memcpy(out, bytes_.data() + offset, n);
    return true;
  }

 private:
  template <typename T>
  bool le(size_t offset, size_t n, T* v) const {
    if (!has(offset, n)) return false;
    T out = 0;
    for (size_t i = 0; i < n; ++i) out |= static_cast<T>(static_cast<uint8_t>(bytes_[offset + i])) << (8 * i);
    *v = out;
    return true;
  }

  std::string_view bytes_;
};

}  // namespace corvio
