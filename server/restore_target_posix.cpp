// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "restore_target.h"

namespace corvio::server {
namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string os_error(int err) { return std::strerror(err); }

// Why the entry name in dir_fd could not be opened as a directory.
std::string why_not_dir(int dir_fd, const std::string& name, int err) {
  struct stat st;
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) return "is a symbolic link, not followed";
    if (!S_ISDIR(st.st_mode)) return "exists and is not a directory";
  }
  return os_error(err);
}

bool apply_attributes(int fd, const EntryAttributes& a, std::string* why) {
  if (a.permissions && fchmod(fd, *a.permissions) != 0) {
    *why = "cannot set its permissions: " + os_error(errno);
    return false;
  }
  timespec times[2] = {{static_cast<time_t>(a.t_access), 0}, {static_cast<time_t>(a.t_modify), 0}};
  if (futimens(fd, times) != 0) {
    *why = "cannot set its times: " + os_error(errno);
    return false;
  }
  return true;
}

std::string temp_name() {
  static std::atomic<uint64_t> counter{0};
  return ".corvio-restore-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

std::unique_ptr<RestoreTarget> RestoreTarget::open(const std::string& dir, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    *error = "cannot create " + dir + ": " + ec.message();
    return nullptr;
  }
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + dir + ": " + os_error(errno);
    return nullptr;
  }
  return std::unique_ptr<RestoreTarget>(new RestoreTarget(fd, dir));
}

std::string RestoreTarget::describe(const Parts& parts, size_t count) const {
  std::string out = dir_;
  for (size_t i = 0; i < count && i < parts.size(); ++i) out += "/" + parts[i];
  return out;
}

int RestoreTarget::walk(const Parts& parts, size_t count, bool create, std::string* error) {
  UniqueFd current(fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
  if (current.get() < 0) {
    *error = "cannot open " + dir_ + ": " + os_error(errno);
    return -1;
  }
  for (size_t i = 0; i < count; ++i) {
    const std::string& name = parts[i];
    int next = openat(current.get(), name.c_str(), kDirFlags);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(current.get(), name.c_str(), 0777) == 0) {
        made_.insert(describe(parts, i + 1));
      } else if (errno != EEXIST) {
        *error = describe(parts, i + 1) + ": cannot create: " + os_error(errno);
        return -1;
      }
      next = openat(current.get(), name.c_str(), kDirFlags);
    }
    if (next < 0) {
      *error = describe(parts, i + 1) + ": " + why_not_dir(current.get(), name, errno);
      return -1;
    }
    current.reset(next);
  }
  return current.release();
}

bool RestoreTarget::make_dir(const Parts& parts, std::string* error) {
  UniqueFd dir(walk(parts, parts.size(), true, error));
  return dir.get() >= 0;
}

bool RestoreTarget::set_dir_attributes(const Parts& parts, const EntryAttributes& attributes,
                                       std::string* error) {
  UniqueFd dir(walk(parts, parts.size(), false, error));
  if (dir.get() < 0) return false;
  EntryAttributes applied = attributes;
  if (made_.count(describe(parts, parts.size())) == 0) applied.permissions.reset();
  std::string why;
  if (!apply_attributes(dir.get(), applied, &why)) {
    *error = describe(parts, parts.size()) + ": " + why;
    return false;
  }
  return true;
}

std::unique_ptr<RestoredFile> RestoreTarget::begin_file(const Parts& parts, std::string* error) {
  if (parts.empty()) {
    *error = dir_ + ": a file cannot take the place of the target";
    return nullptr;
  }
  UniqueFd dir(walk(parts, parts.size() - 1, true, error));
  if (dir.get() < 0) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = temp_name();
    int fd =
        openat(dir.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      std::string where = describe(parts, parts.size());
      return std::unique_ptr<RestoredFile>(
          new RestoredFile(dir.release(), fd, temp, parts.back(), where));
    }
    if (errno != EEXIST) {
      *error = describe(parts, parts.size() - 1) + ": cannot create a file: " + os_error(errno);
      return nullptr;
    }
  }
  *error = describe(parts, parts.size() - 1) + ": cannot find a free temporary name";
  return nullptr;
}

RestoredFile::~RestoredFile() { discard(); }

bool RestoredFile::write(std::string_view bytes) {
  if (fd_.get() < 0 || write_failed_) return false;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      write_failed_ = true;
      write_errno_ = n < 0 ? errno : EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
    written_ += static_cast<uint64_t>(n);
  }
  return true;
}

std::string RestoredFile::write_error() const {
  return where_ + ": cannot write: " + os_error(write_errno_);
}

bool RestoredFile::install(const EntryAttributes& attributes, std::string* error) {
  if (fd_.get() < 0) {
    *error = where_ + ": already closed";
    return false;
  }
  if (write_failed_) {
    *error = write_error();
    discard();
    return false;
  }
  std::string why;
  if (!apply_attributes(fd_.get(), attributes, &why)) {
    *error = where_ + ": " + why;
    discard();
    return false;
  }
  // Closed by hand: a failed close can mean the bytes never reached the disk.
  if (::close(fd_.release()) != 0) {
    *error = where_ + ": cannot write: " + os_error(errno);
    discard();
    return false;
  }
  struct stat st;
  if (fstatat(dir_fd_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    const char* refusal = S_ISLNK(st.st_mode)   ? "is a symbolic link, not replaced"
                          : S_ISDIR(st.st_mode) ? "is a directory, not replaced"
                                                : nullptr;
    if (refusal) {
      *error = where_ + ": " + refusal;
      discard();
      return false;
    }
  }
  if (renameat(dir_fd_.get(), temp_.c_str(), dir_fd_.get(), name_.c_str()) != 0) {
    *error = where_ + ": cannot rename into place: " + os_error(errno);
    discard();
    return false;
  }
  temp_.clear();
  dir_fd_.reset();
  return true;
}

void RestoredFile::discard() {
  fd_.reset();
  if (dir_fd_.get() >= 0 && !temp_.empty()) unlinkat(dir_fd_.get(), temp_.c_str(), 0);
  dir_fd_.reset();
  temp_.clear();
}

}  // namespace corvio::server
