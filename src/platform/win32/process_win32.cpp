// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <objbase.h>

#include "platform/process.h"
#include "platform/win32/win32_handles.h"

namespace corvio {

bool init_components() {
  if (FAILED(::CoInitialize(nullptr))) return false;
  // The process-wide security the snapshot service expects of a requester; a process can set
  // it only once, so a refusal leaves whatever was set before.
  (void)::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                               RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  return true;
}

ThreadId current_thread_id() { return static_cast<ThreadId>(::GetCurrentThreadId()); }

int set_thread_priority(ThreadId thread, uint32_t thread_priority) {
  int priority;
  switch (thread_priority) {
    case 0: priority = THREAD_PRIORITY_IDLE; break;
    case 2: priority = THREAD_PRIORITY_NORMAL; break;
    case 3: priority = THREAD_PRIORITY_ABOVE_NORMAL; break;
    case 4: priority = THREAD_PRIORITY_HIGHEST; break;
    default: priority = THREAD_PRIORITY_BELOW_NORMAL; break;
  }
  win32::UniqueHandle handle(
      ::OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(thread)));
  if (!handle) return -1;
  return ::SetThreadPriority(handle.get(), priority) ? 0 : -1;
}

bool start_process(const std::string& path) {
  // An empty, writable command line: CreateProcessA may change the buffer it is given.
  char command_line[1] = {'\0'};
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessA(path.c_str(), command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    return false;
  }
  // Not waited for: the handles are let go at once.
  win32::UniqueHandle process(started.hProcess);
  win32::UniqueHandle thread(started.hThread);
  return true;
}

std::string make_temp_file(std::string_view prefix) {
  // The temporary directory of Windows lies in the user's own profile, which other users
  // cannot read; GetTempFileNameA creates the file and uses three characters of the prefix.
  char dir[MAX_PATH + 1];
  const DWORD n = ::GetTempPathA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) return std::string();
  char path[MAX_PATH];
  const std::string prefix_text(prefix);
  if (::GetTempFileNameA(dir, prefix_text.c_str(), 0, path) == 0) return std::string();
  return path;
}

}  // namespace corvio
