// SPDX-License-Identifier: Apache-2.0
// The snapshot backend of Windows: the Volume Shadow Copy requester interface over COM.
//
// vssapi.dll is loaded when the backend is made, and CreateVssBackupComponents is looked up
// in it rather than imported: Windows 7 exports it as CreateVssBackupComponentsInternal, Vista
// only under its C++ name, and a system without the library still starts the program, whose
// set-up then fails with the usual message.
#include <vsbackup.h>
#include <vss.h>
#include <windows.h>

#include <cstring>

#include "platform/snapshot_backend.h"
#include "platform/win32/win32_handles.h"

namespace corvio {
namespace {

using CreateComponentsFn = HRESULT(WINAPI*)(IVssBackupComponents**);
using FreePropertiesFn = void(WINAPI*)(VSS_SNAPSHOT_PROP*);

struct LibraryCloser {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryCloser>;

// The first of the names that the library exports, or null.
template <typename Fn>
Fn lookup(HMODULE library, std::initializer_list<const char*> names) {
  if (!library) return nullptr;
  for (const char* name : names) {
    if (FARPROC p = ::GetProcAddress(library, name))
      return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
  }
  return nullptr;
}

VSS_ID to_guid(const SnapshotId& id) {
  VSS_ID guid;
  static_assert(sizeof guid == sizeof id.bytes);
  std::memcpy(&guid, id.bytes.data(), sizeof guid);
  return guid;
}

SnapshotId from_guid(const VSS_ID& guid) {
  SnapshotId id;
  std::memcpy(id.bytes.data(), &guid, sizeof guid);
  return id;
}

class ComAsync : public AsyncOperation {
 public:
  explicit ComAsync(IVssAsync* async) : async_(async) {}
  HResult wait() override { return async_->Wait(INFINITE); }
  HResult query_status(HResult* status) override {
    HRESULT operation = S_OK;
    const HRESULT hr = async_->QueryStatus(&operation, nullptr);
    *status = operation;
    return hr;
  }

 private:
  win32::ComPtr<IVssAsync> async_;
};

// Hands a started operation to the caller, whatever the call's result: the caller releases it.
HResult started(HRESULT hr, IVssAsync* async, AsyncPtr* out) {
  if (async) *out = std::make_unique<ComAsync>(async);
  return hr;
}

class ComComponents : public BackupComponents {
 public:
  ComComponents(IVssBackupComponents* components, FreePropertiesFn free_properties)
      : c_(components), free_properties_(free_properties) {}

  HResult initialize_for_backup() override { return c_->InitializeForBackup(nullptr); }
  HResult set_backup_state(bool select_components, bool bootable_system_state, BackupType type,
                           bool partial_file_support) override {
    return c_->SetBackupState(select_components, bootable_system_state,
                              static_cast<VSS_BACKUP_TYPE>(type), partial_file_support);
  }
  HResult set_context(int32_t context) override { return c_->SetContext(context); }
  HResult gather_writer_metadata(AsyncPtr* async) override {
    IVssAsync* op = nullptr;
    return started(c_->GatherWriterMetadata(&op), op, async);
  }
  HResult start_snapshot_set(SnapshotId* set_id) override {
    VSS_ID id = GUID_NULL;
    const HRESULT hr = c_->StartSnapshotSet(&id);
    *set_id = from_guid(id);
    return hr;
  }
  HResult add_to_snapshot_set(std::string_view volume, SnapshotId* snapshot_id) override {
    wchar_t wide[65] = {};
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, volume.data(), static_cast<int>(volume.size()), wide, 64);
    if (n <= 0) return E_INVALIDARG;
    VSS_ID id = GUID_NULL;
    const HRESULT hr = c_->AddToSnapshotSet(wide, GUID_NULL, &id);
    *snapshot_id = from_guid(id);
    return hr;
  }
  HResult prepare_for_backup(AsyncPtr* async) override {
    IVssAsync* op = nullptr;
    return started(c_->PrepareForBackup(&op), op, async);
  }
  HResult do_snapshot_set(AsyncPtr* async) override {
    IVssAsync* op = nullptr;
    return started(c_->DoSnapshotSet(&op), op, async);
  }
  HResult get_snapshot_device(const SnapshotId& snapshot_id, std::string* device) override {
    device->clear();
    VSS_SNAPSHOT_PROP prop{};
    const HRESULT hr = c_->GetSnapshotProperties(to_guid(snapshot_id), &prop);
    if (hr != S_OK) return hr;
    char text[260];
    const int n = prop.m_pwszSnapshotDeviceObject
                      ? ::WideCharToMultiByte(CP_ACP, 0, prop.m_pwszSnapshotDeviceObject, -1, text,
                                              sizeof text, nullptr, nullptr)
                      : 0;
    if (n > 0) device->assign(text, static_cast<size_t>(n - 1));  // without the terminator
    if (free_properties_) free_properties_(&prop);
    return hr;
  }
  HResult backup_complete(AsyncPtr* async) override {
    IVssAsync* op = nullptr;
    return started(c_->BackupComplete(&op), op, async);
  }

 private:
  win32::ComPtr<IVssBackupComponents> c_;
  FreePropertiesFn free_properties_;
};

class ComSnapshotBackend : public SnapshotBackend {
 public:
  ComSnapshotBackend()
      : vssapi_(::LoadLibraryA("vssapi.dll")),
        create_(lookup<CreateComponentsFn>(
            vssapi_.get(), {"CreateVssBackupComponentsInternal",
                            "?CreateVssBackupComponents@@YAJPEAPEAVIVssBackupComponents@@@Z"})),
        free_properties_(lookup<FreePropertiesFn>(
            vssapi_.get(), {"VssFreeSnapshotPropertiesInternal", "VssFreeSnapshotProperties"})) {}

  bool takes_snapshots() const override { return true; }
  HResult co_initialize() override { return ::CoInitialize(nullptr); }
  HResult co_initialize_security() override {
    return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                  RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  }
  void co_uninitialize() override { ::CoUninitialize(); }
  HResult create_backup_components(std::unique_ptr<BackupComponents>* components) override {
    if (!create_) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    IVssBackupComponents* created = nullptr;
    const HRESULT hr = create_(&created);
    if (created) *components = std::make_unique<ComComponents>(created, free_properties_);
    return hr;
  }

 private:
  UniqueLibrary vssapi_;  // outlives the components made from it
  CreateComponentsFn create_;
  FreePropertiesFn free_properties_;
};

}  // namespace

std::unique_ptr<SnapshotBackend> make_system_snapshot_backend() {
  return std::make_unique<ComSnapshotBackend>();
}

}  // namespace corvio
