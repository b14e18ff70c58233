// SPDX-License-Identifier: Apache-2.0
// A snapshot service in memory. Every call is appended to calls() as one line ("SetContext 0",
// "AddToSnapshotSet C:\", "Wait DoSnapshotSet", "Release" for the components object); a call
// returns results[its line] if set, else results[its name], else 0. An asynchronous operation
// reports async_status[the name of the call that started it] (0 when unset); failing calls
// hand back their operation only when async_on_failure is set. Snapshot n (counted from 1) has
// the device path "\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy<n>" unless devices names one
// for its volume.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/snapshot_backend.h"

namespace corvio::test {

class FakeSnapshotBackend : public SnapshotBackend {
 public:
  std::map<std::string, HResult> results;
  std::map<std::string, HResult> async_status;
  std::map<std::string, std::string> devices;  // by volume root
  bool async_on_failure = false;

  const std::vector<std::string>& calls() const { return calls_; }
  void clear_calls() { calls_.clear(); }

  // Logs the call and returns its result.
  HResult call(const std::string& name, const std::string& args = "") {
    const std::string line = args.empty() ? name : name + " " + args;
    calls_.push_back(line);
    if (auto it = results.find(line); it != results.end()) return it->second;
    if (auto it = results.find(name); it != results.end()) return it->second;
    return 0;
  }

  bool takes_snapshots() const override { return true; }
  HResult co_initialize() override { return call("CoInitialize"); }
  HResult co_initialize_security() override { return call("CoInitializeSecurity"); }
  void co_uninitialize() override { call("CoUninitialize"); }
  HResult create_backup_components(std::unique_ptr<BackupComponents>* out) override;

 private:
  std::vector<std::string> calls_;
};

class FakeAsync : public AsyncOperation {
 public:
  FakeAsync(FakeSnapshotBackend& b, std::string op) : b_(b), op_(std::move(op)) {}
  ~FakeAsync() override { b_.call("Release", op_); }
  HResult wait() override { return b_.call("Wait", op_); }
  HResult query_status(HResult* status) override {
    auto it = b_.async_status.find(op_);
    *status = it == b_.async_status.end() ? 0 : it->second;
    return b_.call("QueryStatus", op_);
  }

 private:
  FakeSnapshotBackend& b_;
  std::string op_;
};

class FakeComponents : public BackupComponents {
 public:
  explicit FakeComponents(FakeSnapshotBackend& b) : b_(b) {}
  ~FakeComponents() override { b_.call("Release"); }

  HResult initialize_for_backup() override { return b_.call("InitializeForBackup"); }
  HResult set_backup_state(bool select, bool bootable, BackupType type, bool partial) override {
    return b_.call("SetBackupState", std::to_string(select) + " " + std::to_string(bootable) + " " +
                                         std::to_string(static_cast<int>(type)) + " " +
                                         std::to_string(partial));
  }
  HResult set_context(int32_t context) override {
    return b_.call("SetContext", std::to_string(context));
  }
  HResult gather_writer_metadata(AsyncPtr* a) override { return async("GatherWriterMetadata", a); }
  HResult start_snapshot_set(SnapshotId* id) override {
    id->bytes[0] = 0xEE;
    return b_.call("StartSnapshotSet");
  }
  HResult add_to_snapshot_set(std::string_view volume, SnapshotId* id) override {
    roots_.emplace_back(volume);
    id->bytes[0] = static_cast<uint8_t>(roots_.size());
    return b_.call("AddToSnapshotSet", std::string(volume));
  }
  HResult prepare_for_backup(AsyncPtr* a) override { return async("PrepareForBackup", a); }
  HResult do_snapshot_set(AsyncPtr* a) override { return async("DoSnapshotSet", a); }
  HResult get_snapshot_device(const SnapshotId& id, std::string* device) override {
    const size_t n = id.bytes[0];
    const std::string root = n >= 1 && n <= roots_.size() ? roots_[n - 1] : "?";
    auto it = b_.devices.find(root);
    *device = it != b_.devices.end()
                  ? it->second
                  : "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy" + std::to_string(n);
    return b_.call("GetSnapshotProperties", root);
  }
  HResult backup_complete(AsyncPtr* a) override { return async("BackupComplete", a); }

 private:
  HResult async(const std::string& name, AsyncPtr* out) {
    HResult hr = b_.call(name);
    if (hr == 0 || b_.async_on_failure) *out = std::make_unique<FakeAsync>(b_, name);
    return hr;
  }

  FakeSnapshotBackend& b_;
  std::vector<std::string> roots_;  // the volume of snapshot n at n - 1
};

inline HResult FakeSnapshotBackend::create_backup_components(
    std::unique_ptr<BackupComponents>* out) {
  HResult hr = call("CreateVssBackupComponents");
  if (hr == 0) *out = std::make_unique<FakeComponents>(*this);
  return hr;
}

}  // namespace corvio::test
