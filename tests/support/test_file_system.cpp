// SPDX-License-Identifier: Apache-2.0
#include "support/test_file_system.h"

#include <algorithm>
#include <cstdio>

#include "platform/path_style.h"

namespace corvio::test {

namespace {

class FaultyFile : public ReadableFile {
 public:
  FaultyFile(std::unique_ptr<ReadableFile> file, std::string path, std::string real_path,
             int64_t fail_after, std::string grow,
             const std::function<void(const std::string&)>& on_read)
      : file_(std::move(file)),
        path_(std::move(path)),
        real_path_(std::move(real_path)),
        fail_after_(fail_after),
        grow_(std::move(grow)),
        on_read_(on_read) {}

  int64_t read(void* buffer, size_t n) override {
    if (on_read_) on_read_(path_);
    if (fail_after_ >= 0) {
      if (done_ >= fail_after_) return -1;
      n = std::min<size_t>(n, static_cast<size_t>(fail_after_ - done_));
    }
    int64_t got = file_->read(buffer, n);
    if (got > 0) done_ += got;
    if (!grow_.empty()) {
      if (std::FILE* f = std::fopen(real_path_.c_str(), "ab")) {
        std::fwrite(grow_.data(), 1, grow_.size(), f);
        std::fclose(f);
      }
      grow_.clear();
    }
    return got;
  }

 private:
  std::unique_ptr<ReadableFile> file_;
  std::string path_;
  std::string real_path_;
  int64_t fail_after_;
  int64_t done_ = 0;
  std::string grow_;
  const std::function<void(const std::string&)>& on_read_;
};

}  // namespace

std::string TestFileSystem::map(const std::string& path) const {
  if (base_.empty() || path.size() < 2 || path[1] != ':') return path;
  // Each component names an entry whatever its letter case, as on a Windows volume.
  std::string mapped = base_;
  size_t at = 2;
  while (at < path.size()) {
    size_t end = path.find('\\', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty()) continue;
    std::string name = part;
    std::vector<FileInfo> entries;
    if (!real().find(mapped + "/" + part) && real().list(mapped, &entries)) {
      for (const FileInfo& e : entries) {
        if (PathStyle::windows().same(e.name, part)) name = e.name;
      }
    }
    mapped += "/" + name;
  }
  return mapped;
}

std::optional<FileInfo> TestFileSystem::find(const std::string& path) {
  if (on_find) on_find(path);
  return as_seen(path, real().find(map(path)));
}

std::optional<FileInfo> TestFileSystem::find_target(const std::string& path) {
  if (on_find) on_find(path);
  return as_seen(path, real().find_target(map(path)));
}

std::optional<FileInfo> TestFileSystem::as_seen(const std::string& path,
                                                std::optional<FileInfo> info) const {
  // A drive root has the drive as its name, not the base folder's.
  if (info && !base_.empty() && map(path) == base_) info->name = path.substr(0, 2);
  if (info && access_time) info->t_access = *access_time;
  return info;
}

bool TestFileSystem::list(const std::string& dir, std::vector<FileInfo>* entries) {
  if (fail_list.count(dir)) return false;
  if (!real().list(map(dir), entries)) return false;
  for (FileInfo& e : *entries) {
    if (access_time) e.t_access = *access_time;
    auto error = unexaminable.find(e.name);
    if (error != unexaminable.end()) e = FileInfo{.name = e.name, .error = error->second};
  }
  return true;
}

std::unique_ptr<ReadableFile> TestFileSystem::open_read(const std::string& path) {
  if (fail_open.count(path)) return nullptr;
  std::unique_ptr<ReadableFile> file = real().open_read(map(path));
  if (!file) return nullptr;
  auto fail = fail_read_after.find(path);
  auto grow = grow_on_read.find(path);
  if (fail == fail_read_after.end() && grow == grow_on_read.end() && !on_read) return file;
  return std::make_unique<FaultyFile>(
      std::move(file), path, map(path),
      fail == fail_read_after.end() ? -1 : static_cast<int64_t>(fail->second),
      grow == grow_on_read.end() ? std::string() : grow->second, on_read);
}

}  // namespace corvio::test
