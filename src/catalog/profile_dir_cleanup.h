// SPDX-License-Identifier: Apache-2.0
// Pruning of a profile's directory after a completed run: the catalogs (.cat), logs (.log) and
// catalog journals (.cat-journal) of the eight highest catalog numbers stay, every other file of
// that shape goes. Other files, such as the profile's own .cfg and .cfg.bak, are never touched.
#pragma once

#include "base/context.h"

namespace corvio {

struct BackupSession;

// Works in ctx.profile_dir of the session's profile through ctx.fs. Files that cannot be
// deleted and a directory that cannot be read are passed over. Always 0.
int profile_dir_cleanup(Context& ctx, const BackupSession& session);

}  // namespace corvio
