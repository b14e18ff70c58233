// SPDX-License-Identifier: Apache-2.0
// Ends the calling process with SIGKILL at the n-th write SQLite makes to a database or journal
// file whose path contains a given text, as a crash in the middle of a transaction would end
// it. Installs a pass-through VFS as SQLite's default; for a forked child that is to die.
// fail_sqlite_writes_from() makes that write and every later one to such files fail as on a
// full disk (SQLITE_FULL) instead. Either is called once per process.
#pragma once

#include <string>

namespace corvio::test {

void kill_at_sqlite_write(const std::string& path_part, int nth);
void fail_sqlite_writes_from(const std::string& path_part, int nth);
// Files opened from now on use the real file system, with no fault.
void stop_sqlite_faults();

}  // namespace corvio::test
