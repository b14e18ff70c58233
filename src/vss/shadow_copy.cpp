// SPDX-License-Identifier: Apache-2.0
#include "vss/shadow_copy.h"

#include <cstdio>

#include "base/context.h"

namespace corvio {
namespace {

constexpr char kTitle[] = "Meridane Online Backup";

constexpr char kCreateFailed[] =
    "Failed to create Volume Shadow Copy components!\n\n"
    "This usually occurs when Volume Shadow Copy is enabled and\n"
    "Corvio is not run as Administrator.  You can resolve this\n"
    "problem in one of two ways:\n\n"
    "* Run Corvio as Administrator.\n"
    " - - - OR - - -\n"
    "* Disable Volume Shadow Copy in the profile editor.";

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// "X:\" with X an ASCII letter: the paths that live on a volume with a snapshot.
bool is_drive_path(std::string_view path) {
  const char letter = upper(path.empty() ? '\0' : path[0]);
  return path.size() >= 3 && letter >= 'A' && letter <= 'Z' && path[1] == ':' && path[2] == '\\';
}

}  // namespace

void ShadowCopy::show(const std::string& text) const { ctx_.messages.message_box(text, kTitle); }

int ShadowCopy::wait(AsyncOperation* async) {
  if (!async) return kEUnexpected;
  (void)async->wait();
  HResult status = 0;
  const HResult queried = async->query_status(&status);
  if (queried < 0) status = queried;  // no status to read: the query's failure is the result
  if (status < 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Async operation failed, returned: %d", status);
    show(text);
    return kEUnexpected;
  }
  return 0;
}

int ShadowCopy::begin() {
  volumes_ = {};
  const HResult hr = backend_.co_initialize();
  if (hr != 0) {
    show("Failed to initialize COM!");
  } else {
    (void)backend_.co_initialize_security();
  }
  // A success code other than 0 (already initialised on this thread) still needs its
  // matching uninitialise; a failure must not get one.
  com_initialized_ = hr >= 0;
  components_.reset();
  if (backend_.create_backup_components(&components_) != 0 || !components_) {
    components_.reset();
    show(kCreateFailed);
    return kEUnexpected;
  }
  return 0;
}

int ShadowCopy::prepare() {
  if (!components_) return kEUnexpected;
  if (components_->initialize_for_backup() != 0) {
    show("Failed to initialize Volume Shadow Copy for backup!");
    end();
    return kEUnexpected;
  }
  if (components_->set_backup_state(true, true, BackupType::Full, false) != 0) {
    show("Failed to set Volume Shadow Copy backup parameters!");
    end();
    return kEUnexpected;
  }
  if (components_->set_context(kVssCtxBackup) != 0) {
    show("Failed to set Volume Shadow Copy backup context!");
    end();
    return kEUnexpected;
  }
  // The components stay allocated after a failure of the metadata step.
  AsyncPtr async;
  if (components_->gather_writer_metadata(&async) != 0) {
    show("Unable to gather writer metadata for backup!");
    return kEUnexpected;
  }
  if (wait(async.get()) != 0) return kEUnexpected;
  async.reset();

  const HResult hr = components_->start_snapshot_set(&snapshot_set_id_);
  if (hr == 0) return 0;
  return allocation_failed(hr);
}

int ShadowCopy::allocation_failed(HResult code) {
  std::string text = "Unable to allocate Volume Shadow Copy snapshot set!\n";
  switch (code) {
    case kVssEBadState:
      text += "Error: VSS_E_BAD_STATE";
      break;
    case kVssESnapshotSetInProgress:
      text += "Error: VSS_E_SNAPSHOT_SET_IN_PROGRESS";
      break;
    case kEOutOfMemory:
      text += "Error: E_OUTOFMEMORY";
      break;
    case kEInvalidArg:
      text += "Error: E_INVALIDARG";
      break;
    case kEUnexpected:
      text += "Error: E_UNEXPECTED";
      break;
    default: {
      char line[32];
      std::snprintf(line, sizeof line, "Error: %08x", static_cast<uint32_t>(code));
      text += line;
    }
  }
  show(text);
  end();
  return kEUnexpected;
}

int ShadowCopy::add_volume(std::string_view path) {
  if (!is_drive_path(path)) return 0;  // network and relative paths get no snapshot
  const char letter = upper(path[0]);
  ShadowVolume* entry = nullptr;
  for (ShadowVolume& v : volumes_) {
    if (!v.in_use()) {
      entry = &v;
      break;
    }
    if (v.root[0] == letter) return 0;
  }
  if (!entry) {
    show("Maximum number of volumes for shadow copy exceeded!");
    return kEUnexpected;
  }
  entry->root = {letter, ':', '\\'};
  if (!components_ || components_->add_to_snapshot_set(entry->root, &entry->snapshot_id) != 0) {
    entry->root.clear();
    return kEUnexpected;
  }
  return 0;
}

int ShadowCopy::snapshot() {
  if (!components_) return kEUnexpected;
  AsyncPtr async;
  if (components_->prepare_for_backup(&async) != 0) {
    show("Unable to prepare shadow set for backup!");
    return kEUnexpected;
  }
  if (wait(async.get()) != 0) return kEUnexpected;
  async.reset();
  if (components_->do_snapshot_set(&async) != 0) {
    show("Unable to execute shadow copy snapshot set!");
    return kEUnexpected;
  }
  if (wait(async.get()) != 0) return kEUnexpected;
  async.reset();

  for (ShadowVolume& v : volumes_) {
    if (!v.in_use()) continue;
    std::string device;
    if (components_->get_snapshot_device(v.snapshot_id, &device) != 0) {
      ctx_.messages.message_box("Unable to obtain snapshot path!", v.root);
      v.root.clear();
      continue;
    }
    // The path, its backslash and the terminator must fit the field. A path cut short would
    // name the wrong device, so a volume whose path does not fit is read live instead.
    if (device.empty() || device.size() + 2 > kDevicePathSize) {
      v.root.clear();
      continue;
    }
    v.device_path = device + '\\';
  }
  return 0;
}

std::string ShadowCopy::map_path(std::string_view path) const {
  if (is_drive_path(path)) {
    const char letter = upper(path[0]);
    for (const ShadowVolume& v : volumes_) {
      if (v.in_use() && v.root[0] == letter && !v.device_path.empty()) {
        return v.device_path + std::string(path.substr(3));
      }
    }
  }
  return std::string(path);
}

int ShadowCopy::complete() {
  if (!components_) return kEUnexpected;
  AsyncPtr async;
  if (components_->backup_complete(&async) != 0) {
    end();
    return kEUnexpected;
  }
  return wait(async.get()) == 0 ? 0 : kEUnexpected;
}

int ShadowCopy::end() {
  components_.reset();
  if (com_initialized_) {
    backend_.co_uninitialize();
    com_initialized_ = false;
  }
  return 0;
}

}  // namespace corvio
