// SPDX-License-Identifier: Apache-2.0
// Access lists that let only the current user in. On Windows the owner-only files of the
// program (profile databases with their passwords) get an explicit, protected access list
// rather than the one inherited from their folder.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace corvio::win32 {

struct LocalFreer {
  void operator()(void* p) const { ::LocalFree(p); }
};
// Memory handed out by the security functions, freed with LocalFree.
using LocalPtr = std::unique_ptr<void, LocalFreer>;

// The current user's security identifier, or null.
LocalPtr current_user_sid();

// A security descriptor whose protected access list grants the current user full access and
// nobody else anything; null on failure.
LocalPtr owner_only_descriptor();

}  // namespace corvio::win32
