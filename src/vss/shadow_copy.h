// SPDX-License-Identifier: Apache-2.0
// The run's shadow copy: one snapshot of every volume an include rule names, taken before the
// walk, and the rewriting of file paths onto the snapshots' device paths.
//
// Calling order (vss_begin ... vss_end): begin(), prepare(), add_volume() per include rule,
// snapshot(), then map_path() for every path the walk opens, and at the end complete() and
// end(). Every operation returns 0 or kEUnexpected; failures have already been shown in a
// message box when they are returned. All calls, and the destructor, run on the backup worker
// thread: the component system is initialised and uninitialised on it.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/snapshot_backend.h"

namespace corvio {

struct Context;

// Written once to the run's log when the backend takes no snapshots.
inline constexpr std::string_view kShadowCopyUnavailable =
    "Shadow copy is not available on this system; files are read from the live file system.";

// One entry of the snapshot table; in use while root is not empty.
struct ShadowVolume {
  std::string root;         // "C:\": a drive letter in upper case, a colon, a backslash
  std::string device_path;  // the snapshot's device path followed by a backslash
  SnapshotId snapshot_id;

  bool in_use() const { return !root.empty(); }
};

class ShadowCopy {
 public:
  static constexpr size_t kMaxVolumes = 32;
  // The device path field holds at most this many bytes, its terminator included.
  static constexpr size_t kDevicePathSize = 260;

  // Borrows both; they must outlive this object.
  ShadowCopy(const Context& ctx, SnapshotBackend& backend) : ctx_(ctx), backend_(backend) {}
  ~ShadowCopy() { end(); }
  ShadowCopy(const ShadowCopy&) = delete;
  ShadowCopy& operator=(const ShadowCopy&) = delete;

  // Whether snapshots are really taken. Without them every path is read live, and the run
  // logs kShadowCopyUnavailable.
  bool takes_snapshots() const { return backend_.takes_snapshots(); }

  // vss_begin: clears the table, initialises the component system, creates the components.
  int begin();
  // vss_prepare: declares a full backup, gathers the writers' metadata, starts the set.
  int prepare();
  // vss_add_volume: adds the volume of an include path, once per drive letter. A path that
  // does not begin with a drive ("C:\") adds nothing and returns 0.
  int add_volume(std::string_view path);
  // vss_snapshot: takes the snapshots and records each volume's device path. A volume whose
  // path cannot be had is dropped from the table and read live.
  int snapshot();
  // vss_map_path: the path on its volume's snapshot, or the path unchanged when its volume has
  // none.
  std::string map_path(std::string_view path) const;
  // vss_complete: tells the writers the backup is complete.
  int complete();
  // vss_end: releases the components and uninitialises the component system. Always 0.
  int end();

  const std::array<ShadowVolume, kMaxVolumes>& volumes() const { return volumes_; }

 private:
  // vss_wait: waits for the operation and checks its result. A call that started no
  // operation counts as failed.
  int wait(AsyncOperation* async);
  void show(const std::string& text) const;
  int allocation_failed(HResult code);

  const Context& ctx_;
  SnapshotBackend& backend_;
  std::unique_ptr<BackupComponents> components_;
  bool com_initialized_ = false;
  SnapshotId snapshot_set_id_;
  std::array<ShadowVolume, kMaxVolumes> volumes_;
};

}  // namespace corvio
