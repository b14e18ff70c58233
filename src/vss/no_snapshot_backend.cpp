// SPDX-License-Identifier: Apache-2.0
// The snapshot backend of systems without a snapshot service. Every call succeeds and no
// snapshot gets a device path, so ShadowCopy drops each volume after the snapshot step and
// every path is read from the live file system.
#include "platform/snapshot_backend.h"

namespace corvio {
namespace {

class FinishedOperation : public AsyncOperation {
 public:
  HResult wait() override { return 0; }
  HResult query_status(HResult* status) override {
    *status = 0;
    return 0;
  }
};

class NoSnapshotComponents : public BackupComponents {
 public:
  HResult initialize_for_backup() override { return 0; }
  HResult set_backup_state(bool, bool, BackupType, bool) override { return 0; }
  HResult set_context(int32_t) override { return 0; }
  HResult gather_writer_metadata(AsyncPtr* async) override { return finished(async); }
  HResult start_snapshot_set(SnapshotId*) override { return 0; }
  HResult add_to_snapshot_set(std::string_view, SnapshotId*) override { return 0; }
  HResult prepare_for_backup(AsyncPtr* async) override { return finished(async); }
  HResult do_snapshot_set(AsyncPtr* async) override { return finished(async); }
  HResult get_snapshot_device(const SnapshotId&, std::string* device) override {
    device->clear();
    return 0;
  }
  HResult backup_complete(AsyncPtr* async) override { return finished(async); }

 private:
  static HResult finished(AsyncPtr* async) {
    *async = std::make_unique<FinishedOperation>();
    return 0;
  }
};

class NoSnapshotBackend : public SnapshotBackend {
 public:
  bool takes_snapshots() const override { return false; }
  HResult co_initialize() override { return 0; }
  HResult co_initialize_security() override { return 0; }
  void co_uninitialize() override {}
  HResult create_backup_components(std::unique_ptr<BackupComponents>* components) override {
    *components = std::make_unique<NoSnapshotComponents>();
    return 0;
  }
};

}  // namespace

std::unique_ptr<SnapshotBackend> make_system_snapshot_backend() {
  return std::make_unique<NoSnapshotBackend>();
}

}  // namespace corvio
