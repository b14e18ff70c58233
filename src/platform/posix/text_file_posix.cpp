// SPDX-License-Identifier: Apache-2.0
#include <stdio.h>

#include <string>

#include "platform/text_file.h"

namespace corvio {

namespace {

// fopencookie write hook: passes the text on to the real file with "\n" widened to "\r\n".
ssize_t write_crlf(void* cookie, const char* data, size_t size) {
  FILE* file = static_cast<FILE*>(cookie);
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') continue;
    if (std::fwrite(data + start, 1, i - start, file) != i - start) return -1;
    if (std::fwrite("\r\n", 1, 2, file) != 2) return -1;
    start = i + 1;
  }
  if (std::fwrite(data + start, 1, size - start, file) != size - start) return -1;
  return static_cast<ssize_t>(size);
}

int close_crlf(void* cookie) { return std::fclose(static_cast<FILE*>(cookie)); }

}  // namespace

FileHandle open_crlf_text_file(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "w+");
  if (!file) return nullptr;
  cookie_io_functions_t io{};
  io.write = write_crlf;
  io.close = close_crlf;
  FILE* stream = ::fopencookie(file, "w", io);
  if (!stream) {
    std::fclose(file);
    return nullptr;
  }
  return FileHandle(stream);
}

}  // namespace corvio
