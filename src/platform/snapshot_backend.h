// SPDX-License-Identifier: Apache-2.0
// The snapshot service as ShadowCopy sees it: the component system (COM), the backup
// components object with the requester calls a backup makes, and the asynchronous operations
// some of them start. The shapes follow the Volume Shadow Copy requester interface call for
// call, so that the COM backend is a thin translation and a test backend can fail any call with
// any code.
//
// Results are HRESULT values: 0 is success; ShadowCopy counts every other value, positive
// success codes included, as a failure. Releasing an object is destroying it: a
// BackupComponents or AsyncOperation is released when its unique_ptr lets go of it.
//
// Every call is made on the backup worker thread, the thread that called co_initialize.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvio {

using HResult = int32_t;

constexpr HResult hresult(uint32_t code) { return static_cast<HResult>(code); }

inline constexpr HResult kVssEBadState = hresult(0x80042301);
inline constexpr HResult kVssESnapshotSetInProgress = hresult(0x80042316);
inline constexpr HResult kEOutOfMemory = hresult(0x8007000E);
inline constexpr HResult kEInvalidArg = hresult(0x80070057);
inline constexpr HResult kEUnexpected = hresult(0x8000FFFF);

// A GUID: the snapshot set's identifier and each snapshot's.
struct SnapshotId {
  std::array<uint8_t, 16> bytes{};
  bool operator==(const SnapshotId&) const = default;
};

enum class BackupType : int32_t { Full = 1 };  // VSS_BT_FULL
inline constexpr int32_t kVssCtxBackup = 0;    // VSS_CTX_BACKUP

// IVssAsync. Destroying it releases it.
class AsyncOperation {
 public:
  virtual ~AsyncOperation() = default;
  // Waits, without a time-out, until the operation has finished.
  virtual HResult wait() = 0;
  // The operation's own result into *status.
  virtual HResult query_status(HResult* status) = 0;
};
using AsyncPtr = std::unique_ptr<AsyncOperation>;

// IVssBackupComponents. Destroying it releases it. The calls that start an asynchronous
// operation hand it back in *async, which may be set even when the call fails.
class BackupComponents {
 public:
  virtual ~BackupComponents() = default;
  virtual HResult initialize_for_backup() = 0;  // no backup document
  virtual HResult set_backup_state(bool select_components, bool bootable_system_state,
                                   BackupType type, bool partial_file_support) = 0;
  virtual HResult set_context(int32_t context) = 0;
  virtual HResult gather_writer_metadata(AsyncPtr* async) = 0;
  virtual HResult start_snapshot_set(SnapshotId* set_id) = 0;
  // volume is a root such as "C:\" in the system code page; the backend widens it (at most 64
  // characters) and lets the system choose the provider.
  virtual HResult add_to_snapshot_set(std::string_view volume, SnapshotId* snapshot_id) = 0;
  virtual HResult prepare_for_backup(AsyncPtr* async) = 0;
  virtual HResult do_snapshot_set(AsyncPtr* async) = 0;
  // GetSnapshotProperties, reduced to the one property used: the snapshot's device object
  // path, converted to the system code page (empty when it cannot be converted). The backend
  // frees the properties it was given.
  virtual HResult get_snapshot_device(const SnapshotId& snapshot_id, std::string* device) = 0;
  virtual HResult backup_complete(AsyncPtr* async) = 0;
};

class SnapshotBackend {
 public:
  virtual ~SnapshotBackend() = default;
  // False for a backend that takes no snapshots, so that files are read from the live volumes.
  virtual bool takes_snapshots() const = 0;
  virtual HResult co_initialize() = 0;
  // Default security, packet-privacy authentication, identify impersonation, no capabilities.
  virtual HResult co_initialize_security() = 0;
  virtual void co_uninitialize() = 0;
  // CreateVssBackupComponents.
  virtual HResult create_backup_components(std::unique_ptr<BackupComponents>* components) = 0;
};

// The backend of this operating system. On systems without a snapshot service it takes no
// snapshots: every call succeeds and no volume gets a device path.
std::unique_ptr<SnapshotBackend> make_system_snapshot_backend();

}  // namespace corvio
