// SPDX-License-Identifier: Apache-2.0
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

#include "platform/process.h"

extern char** environ;

namespace corvio {

bool init_components() { return true; }

ThreadId current_thread_id() { return static_cast<ThreadId>(::syscall(SYS_gettid)); }

int set_thread_priority(ThreadId thread, uint32_t thread_priority) {
  // Linux gives each thread its own nice value.
  int nice_value;
  switch (thread_priority) {
    case 0: nice_value = 19; break;
    case 2: nice_value = 0; break;
    case 3: nice_value = -5; break;
    case 4: nice_value = -10; break;
    default: nice_value = 5; break;
  }
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice_value) == 0 ? 0 : -1;
}

bool start_process(const std::string& path) {
  pid_t pid;
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  return ::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0;
}

std::string make_temp_file(std::string_view prefix) {
  const char* dir = ::getenv("TMPDIR");
  std::string templ = std::string(dir && dir[0] ? dir : "/tmp") + "/";
  templ.append(prefix).append("XXXXXX");
  int fd = ::mkstemp(templ.data());
  if (fd < 0) return std::string();
  ::close(fd);
  return templ;
}

}  // namespace corvio
