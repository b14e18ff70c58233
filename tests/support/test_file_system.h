// SPDX-License-Identifier: Apache-2.0
// A file system for tests of the walk and the block loop: the real one, with faults a real
// tree cannot produce on demand (a file that cannot be opened, a read that fails part way, a
// file that grows while it is read), a hook on every lookup, and optionally the Windows
// style's paths: "C:\Data\a.txt" (or "c:\data\a.txt"; the drive letter's case does not count)
// names base/Data/a.txt.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace corvio::test {

class TestFileSystem : public FileSystem {
 public:
  // With a base, drive paths map onto it; without, paths pass through unchanged.
  explicit TestFileSystem(std::string drive_base = "") : base_(std::move(drive_base)) {}

  std::optional<FileInfo> find(const std::string& path) override;
  std::optional<FileInfo> find_target(const std::string& path) override;
  bool list(const std::string& dir, std::vector<FileInfo>* entries) override;
  std::unique_ptr<ReadableFile> open_read(const std::string& path) override;
  bool remove(const std::string& path) override { return real().remove(map(path)); }
  bool rename(const std::string& from, const std::string& to) override {
    return real().rename(map(from), map(to));
  }
  bool make_dir(const std::string& path) override { return real().make_dir(map(path)); }

  // The real path a path of the caller's names.
  std::string map(const std::string& path) const;

  // Faults, keyed by the caller's path.
  std::set<std::string> fail_open;
  std::set<std::string> fail_list;
  // Entry names that every listing reports as not examinable, with the error to give.
  std::map<std::string, std::string> unexaminable;
  std::map<std::string, uint64_t> fail_read_after;  // bytes read before the error
  std::map<std::string, std::string> grow_on_read;  // appended once the first read is done
  // Runs before every lookup, with the caller's path.
  std::function<void(const std::string&)> on_find;
  // Runs before every read of an open file, with the caller's path.
  std::function<void(const std::string&)> on_read;
  // When set, every entry's last-access time: reading a tree moves the real ones, so two runs
  // over one tree record the same times only with a fixed one.
  std::optional<int64_t> access_time;

 private:
  static FileSystem& real() { return real_file_system(); }
  // What find() and find_target() found, as the tests set it to be seen.
  std::optional<FileInfo> as_seen(const std::string& path, std::optional<FileInfo> info) const;
  std::string base_;
};

}  // namespace corvio::test
