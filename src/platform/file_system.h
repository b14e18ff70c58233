// SPDX-License-Identifier: Apache-2.0
// The file system, as the backup engine and the databases need it. One implementation per
// operating system (platform/posix, platform/win32); tests add fakes where a real one cannot
// produce a case.
//
// Attributes use the Windows bit values on every platform, because the catalog records them.
// On POSIX: H for a name beginning with '.', R when the owner cannot write, A for regular files,
// S never; FIFOs, sockets, devices and symbolic links carry kAttrOffline so that the walk never
// opens them (and never follows a link into a directory).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvio {

enum : uint32_t {
  kAttrReadOnly = 0x1,
  kAttrHidden = 0x2,
  kAttrSystem = 0x4,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrReparsePoint = 0x400,
  kAttrOffline = 0x1000,
};

// One directory entry.
struct FileInfo {
  std::string name;  // last path component
  uint32_t attributes = 0;
  uint64_t size = 0;  // 0 for directories
  // Seconds since 1970 (UTC): last access, creation (POSIX: status change), last write.
  int64_t t_access = 0;
  int64_t t_create = 0;
  int64_t t_write = 0;
  // POSIX st_mode, uid and gid; the Windows implementation reports 16384, 0, 0.
  uint32_t mode = 0;
  uint32_t owner = 0;
  uint32_t group = 0;
  // Set by list() for an entry it found but could not examine (on POSIX, in a directory that
  // can be read but not searched): why, in words. Every other field but the name is then 0.
  std::string error;

  bool is_directory() const { return (attributes & kAttrDirectory) != 0; }
};

// A file open for reading. Closed by its destructor.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to n bytes; returns the count (0 at the end), or -1 on a read error.
  virtual int64_t read(void* buffer, size_t n) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The entry at path itself (a link is not followed), or nothing when it does not exist.
  virtual std::optional<FileInfo> find(const std::string& path) = 0;
  // The same, but a symbolic link at path is followed to what it points to (nothing when that
  // is missing). Where the platform shows a link to a directory as the directory, as Windows
  // shows a junction, this is find().
  virtual std::optional<FileInfo> find_target(const std::string& path) { return find(path); }
  // The entries of a directory, without "." and "..", in no particular order; one that cannot
  // be examined is listed with its error. False when the directory cannot be read.
  virtual bool list(const std::string& dir, std::vector<FileInfo>* entries) = 0;
  // Null when the file cannot be opened.
  virtual std::unique_ptr<ReadableFile> open_read(const std::string& path) = 0;
  virtual bool remove(const std::string& path) = 0;
  // Renames, replacing an existing target.
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  // Creates one directory; an existing directory is success.
  virtual bool make_dir(const std::string& path) = 0;
  bool exists(const std::string& path) { return find(path).has_value(); }
  // Appends the whole file to *out. False when it cannot be opened or read to its end.
  bool read_all(const std::string& path, std::string* out) {
    std::unique_ptr<ReadableFile> f = open_read(path);
    if (!f) return false;
    char buf[4096];
    for (;;) {
      int64_t n = f->read(buf, sizeof buf);
      if (n < 0) return false;
      if (n == 0) return true;
      out->append(buf, static_cast<size_t>(n));
    }
  }
};

// The operating system's file system.
FileSystem& real_file_system();

}  // namespace corvio
