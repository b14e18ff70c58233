// SPDX-License-Identifier: Apache-2.0
// Ends the calling process with SIGKILL at the n-th write SQLite makes to a database or journal
// file whose path contains a given text, as a crash in the middle of a transaction would end
// it. Installs a pass-through VFS as SQLite's default; for a forked child that is to die.
#pragma once

#include <string>

namespace corvio::test {

void kill_at_sqlite_write(const std::string& path_part, int nth);

}  // namespace corvio::test
