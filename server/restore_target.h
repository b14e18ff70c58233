// SPDX-License-Identifier: Apache-2.0
// The directory a restore writes into, and the only operating-system calls of a restore. Every
// path below the target is given as components (plain names, see catalog_path.h), and the
// target walks them one at a time from its own directory handle, opening each directory
// without following a symbolic link. A link that exists under the target, or is put there while
// the restore runs, therefore never leads outside it: the walk stops there with an error.
//
// A file is written under a temporary name in its directory and renamed into place only when
// its caller has checked every byte (RestoredFile::install); a file that is not installed
// leaves nothing behind, and an existing entry of its name is left as it was.
//
// Used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "unique_fd.h"

namespace corvio::server {

using Parts = std::vector<std::string>;

// Access and modification times, seconds since 1970 (UTC), and the permission bits to give an
// entry when the catalog knows them.
struct EntryAttributes {
  int64_t t_access = 0;
  int64_t t_modify = 0;
  std::optional<uint32_t> permissions;
};

class RestoredFile;

class RestoreTarget {
 public:
  // Opens dir, creating it (and its parents) when missing. dir itself is the caller's choice
  // and may be reached through a link; nothing below it is. Null with *error set on failure.
  static std::unique_ptr<RestoreTarget> open(const std::string& dir, std::string* error);
  RestoreTarget(const RestoreTarget&) = delete;
  RestoreTarget& operator=(const RestoreTarget&) = delete;

  // Makes the directory parts, and each missing directory on the way, below the target. An
  // existing directory is used as it is.
  bool make_dir(const Parts& parts, std::string* error);
  // Starts the file parts (its parent directories made as needed). Null with *error set.
  std::unique_ptr<RestoredFile> begin_file(const Parts& parts, std::string* error);
  // Gives the existing directory parts its times and, when set, its permissions; a directory
  // that was there before this target made it keeps its mode, so that restoring into a live
  // tree (a shared /tmp) never opens or closes it to others.
  bool set_dir_attributes(const Parts& parts, const EntryAttributes& attributes,
                          std::string* error);

  // dir + "/" + parts, for messages.
  std::string describe(const Parts& parts, size_t count) const;

 private:
  RestoreTarget(int fd, std::string dir) : fd_(fd), dir_(std::move(dir)) {}
  // A handle of the directory made of the first count parts; -1 with *error set when a part is
  // missing (and create is false), a link, or not a directory.
  int walk(const Parts& parts, size_t count, bool create, std::string* error);

  UniqueFd fd_;
  std::string dir_;
  std::set<std::string> made_;  // the directories this target created, as describe() names them
};

class RestoredFile {
 public:
  ~RestoredFile();  // discards the file unless it was installed
  RestoredFile(const RestoredFile&) = delete;
  RestoredFile& operator=(const RestoredFile&) = delete;

  // False once a write failed; write_error() then tells why.
  bool write(std::string_view bytes);
  std::string write_error() const;
  uint64_t written() const { return written_; }
  // Gives the file its attributes, closes it and renames it to its name. Refuses to replace a
  // directory or a symbolic link of that name.
  bool install(const EntryAttributes& attributes, std::string* error);
  // Removes the temporary file.
  void discard();

 private:
  friend class RestoreTarget;
  RestoredFile(int dir_fd, int fd, std::string temp, std::string name, std::string where)
      : dir_fd_(dir_fd),
        fd_(fd),
        temp_(std::move(temp)),
        name_(std::move(name)),
        where_(std::move(where)) {}

  UniqueFd dir_fd_;
  UniqueFd fd_;
  std::string temp_;
  std::string name_;
  std::string where_;  // the final path, for messages
  uint64_t written_ = 0;
  bool write_failed_ = false;
  int write_errno_ = 0;
};

}  // namespace corvio::server
