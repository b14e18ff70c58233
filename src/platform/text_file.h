// SPDX-License-Identifier: Apache-2.0
// Text files whose line ends are carriage return and line feed on every system, as the run
// logs are: readers on any platform see the same bytes.
#pragma once

#include <string>

#include "util/file_handle.h"

namespace corvio {

// Creates or truncates path for writing text; every "\n" written through the stream reaches
// the file as "\r\n". Null when the file cannot be opened.
FileHandle open_crlf_text_file(const std::string& path);

}  // namespace corvio
