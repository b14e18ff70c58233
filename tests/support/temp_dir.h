// SPDX-License-Identifier: Apache-2.0
// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes.
#pragma once

#include <string>

namespace corvio::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes to a file, replacing it. Fails the current test on error.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

}  // namespace corvio::test
