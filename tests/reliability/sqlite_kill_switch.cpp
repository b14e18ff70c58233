// SPDX-License-Identifier: Apache-2.0
#include "sqlite_kill_switch.h"

#include <signal.h>
#include <sqlite3.h>

#include <cstddef>

namespace corvio::test {
namespace {

// The pass-through file: our methods in front, the real VFS's file behind.
struct ShimFile {
  sqlite3_file base;
  bool watched;
  sqlite3_file real[1];  // the real VFS's szOsFile bytes, allocated by SQLite with ours
};

sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs shim_vfs;
std::string watched_part;
int writes_left = 0;
bool fail_instead = false;  // the disk is full from the n-th write on

sqlite3_file* real_of(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

int shim_close(sqlite3_file* f) { return real_of(f)->pMethods->xClose(real_of(f)); }
int shim_read(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
  return real_of(f)->pMethods->xRead(real_of(f), p, n, at);
}
int shim_write(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
  if (reinterpret_cast<ShimFile*>(f)->watched && writes_left > 0 && --writes_left == 0 &&
      !fail_instead)
    ::raise(SIGKILL);
  if (reinterpret_cast<ShimFile*>(f)->watched && writes_left == 0 && fail_instead)
    return SQLITE_FULL;
  return real_of(f)->pMethods->xWrite(real_of(f), p, n, at);
}
int shim_truncate(sqlite3_file* f, sqlite3_int64 size) {
  return real_of(f)->pMethods->xTruncate(real_of(f), size);
}
int shim_sync(sqlite3_file* f, int flags) { return real_of(f)->pMethods->xSync(real_of(f), flags); }
int shim_file_size(sqlite3_file* f, sqlite3_int64* size) {
  return real_of(f)->pMethods->xFileSize(real_of(f), size);
}
int shim_lock(sqlite3_file* f, int level) { return real_of(f)->pMethods->xLock(real_of(f), level); }
int shim_unlock(sqlite3_file* f, int level) {
  return real_of(f)->pMethods->xUnlock(real_of(f), level);
}
int shim_check_reserved(sqlite3_file* f, int* out) {
  return real_of(f)->pMethods->xCheckReservedLock(real_of(f), out);
}
int shim_file_control(sqlite3_file* f, int op, void* arg) {
  return real_of(f)->pMethods->xFileControl(real_of(f), op, arg);
}
int shim_sector_size(sqlite3_file* f) { return real_of(f)->pMethods->xSectorSize(real_of(f)); }
int shim_device(sqlite3_file* f) {
  return real_of(f)->pMethods->xDeviceCharacteristics(real_of(f));
}

// Version 1 methods only: no shared memory (no WAL) and no memory mapping, which SQLite then
// does without.
const sqlite3_io_methods shim_methods = {1,
                                         shim_close,
                                         shim_read,
                                         shim_write,
                                         shim_truncate,
                                         shim_sync,
                                         shim_file_size,
                                         shim_lock,
                                         shim_unlock,
                                         shim_check_reserved,
                                         shim_file_control,
                                         shim_sector_size,
                                         shim_device,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};

int shim_open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* out_flags) {
  ShimFile* file = reinterpret_cast<ShimFile*>(f);
  file->watched = name && std::string(name).find(watched_part) != std::string::npos;
  int rc = real_vfs->xOpen(real_vfs, name, file->real, flags, out_flags);
  file->base.pMethods = file->real->pMethods ? &shim_methods : nullptr;
  return rc;
}

}  // namespace

void fail_sqlite_writes_from(const std::string& path_part, int nth) {
  fail_instead = true;
  kill_at_sqlite_write(path_part, nth);
}

void stop_sqlite_faults() {
  // Databases opened through the shim keep it; new ones get the real file system again.
  if (real_vfs) sqlite3_vfs_register(real_vfs, 1);
  writes_left = 0;
  fail_instead = false;
}

void kill_at_sqlite_write(const std::string& path_part, int nth) {
  watched_part = path_part;
  writes_left = nth;
  if (!real_vfs) real_vfs = sqlite3_vfs_find(nullptr);
  shim_vfs = *real_vfs;
  shim_vfs.zName = "kill-switch";
  shim_vfs.szOsFile = static_cast<int>(offsetof(ShimFile, real)) + real_vfs->szOsFile;
  shim_vfs.xOpen = shim_open;
  sqlite3_vfs_register(&shim_vfs, 1);
}

}  // namespace corvio::test
