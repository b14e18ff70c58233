// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdio>
#include <memory>

namespace corvio {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
// A C stream that is closed when its owner goes.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace corvio
