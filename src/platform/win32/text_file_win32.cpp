// SPDX-License-Identifier: Apache-2.0
#include <cstdio>

#include "platform/text_file.h"

namespace corvio {

// The C library of Windows writes every "\n" of a stream opened in text mode as "\r\n".
FileHandle open_crlf_text_file(const std::string& path) {
  return FileHandle(std::fopen(path.c_str(), "w"));
}

}  // namespace corvio
