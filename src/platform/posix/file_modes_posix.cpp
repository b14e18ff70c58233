// SPDX-License-Identifier: Apache-2.0
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_modes.h"

namespace corvio {
namespace {

std::string reason(const char* step, const std::string& path) {
  return std::string(step) + " " + path + ": " + ::strerror(errno);
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool create_owner_only_file(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = reason("can't create", path);
    return false;
  }
  ::close(fd);
  return true;
}

bool restrict_to_owner(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), st.st_mode & S_IRWXU) == 0;
}

bool accessible_by_others(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0;
}

std::string owner_only_folder_command(const std::string& path) { return "chmod 700 " + path; }

bool replace_public_file(const std::string& path, std::string_view bytes, std::string* error) {
  const std::string temp = path + ".new";
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = reason("can't create", temp);
    return false;
  }
  // The mode is set explicitly so that a restrictive umask cannot hide the file from its readers.
  bool ok = ::fchmod(fd, 0644) == 0 && write_all(fd, bytes) && ::fsync(fd) == 0;
  if (!ok) *error = reason("can't write", temp);
  if (::close(fd) != 0 && ok) {
    *error = reason("can't write", temp);
    ok = false;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    *error = reason("can't replace", path);
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace corvio
