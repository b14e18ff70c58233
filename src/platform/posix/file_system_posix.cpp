// SPDX-License-Identifier: Apache-2.0
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/file_system.h"

namespace corvio {
namespace {

FileInfo info_from_stat(const std::string& name, const struct stat& st) {
  FileInfo info;
  info.name = name;
  if (S_ISDIR(st.st_mode)) {
    info.attributes = kAttrDirectory;
  } else if (S_ISREG(st.st_mode)) {
    info.attributes = kAttrArchive;
    info.size = static_cast<uint64_t>(st.st_size);
  } else if (S_ISLNK(st.st_mode)) {
    info.attributes = kAttrOffline | kAttrReparsePoint;
  } else {
    info.attributes = kAttrOffline;
  }
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") info.attributes |= kAttrHidden;
  if ((st.st_mode & S_IWUSR) == 0) info.attributes |= kAttrReadOnly;
  info.t_access = st.st_atime;
  info.t_create = st.st_ctime;
  info.t_write = st.st_mtime;
  info.mode = st.st_mode;
  info.owner = st.st_uid;
  info.group = st.st_gid;
  return info;
}

std::string last_component(const std::string& path) {
  size_t cut = path.find_last_of('/');
  if (cut == std::string::npos || path == "/") return path;
  return path.substr(cut + 1);
}

class PosixFile : public ReadableFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int64_t read(void* buffer, size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd_, buffer, n);
      if (got >= 0) return got;
      if (errno != EINTR) return -1;
    }
  }

 private:
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  std::optional<FileInfo> find(const std::string& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return info_from_stat(last_component(path), st);
  }

  std::optional<FileInfo> find_target(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return info_from_stat(last_component(path), st);
  }

  bool list(const std::string& dir, std::vector<FileInfo>* entries) override {
    entries->clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      struct stat st {};
      if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        entries->push_back(info_from_stat(name, st));
      } else if (errno != ENOENT) {  // one that vanished since readdir is simply not listed
        FileInfo unexamined;
        unexamined.name = name;
        unexamined.error = std::strerror(errno);
        entries->push_back(unexamined);
      }
    }
    ::closedir(d);
    return true;
  }

  std::unique_ptr<ReadableFile> open_read(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return nullptr;
    // Opened non-blocking so a FIFO cannot hang the open; reads of regular files never block.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixFile>(fd);
  }

  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool make_dir(const std::string& path) override {
    if (::mkdir(path.c_str(), 0700) == 0) return true;
    struct stat st {};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
};

}  // namespace

FileSystem& real_file_system() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace corvio
