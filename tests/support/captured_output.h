// SPDX-License-Identifier: Apache-2.0
// A stream that a command prints into, read back as text by the test.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace corvio::test {

class CapturedOutput {
 public:
  CapturedOutput() : file_(open_memstream(&data_, &size_)) {}
  ~CapturedOutput() {
    std::fclose(file_);
    std::free(data_);
  }
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  std::FILE* file() { return file_; }
  // Everything printed so far.
  std::string text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

}  // namespace corvio::test
