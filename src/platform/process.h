// SPDX-License-Identifier: Apache-2.0
// Process-level facilities: the component system, thread priority, starting another program
// and temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvio {

// Prepares the operating system's component system for the snapshot service (COM on
// Windows). POSIX has none and always succeeds.
bool init_components();

// Identifies a thread for set_thread_priority.
using ThreadId = int64_t;
ThreadId current_thread_id();

// Sets a thread's priority from a profile's thread_priority: 0 idle, 1 below normal, 2 normal,
// 3 above normal, 4 highest; any other value counts as below normal. Returns 0 on success,
// -1 when the system refused (POSIX needs privileges to raise a priority).
int set_thread_priority(ThreadId thread, uint32_t thread_priority);

// Starts a program with an empty command line and does not wait for it. False on failure.
bool start_process(const std::string& path);

// Creates an empty temporary file that only this user can read, its name beginning with
// prefix, in the system's temporary directory (POSIX: $TMPDIR, else /tmp), and returns its
// path, or an empty text on failure. The caller removes it.
std::string make_temp_file(std::string_view prefix = "corvio-");

}  // namespace corvio
