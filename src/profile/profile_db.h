// SPDX-License-Identifier: Apache-2.0
// The profile database <data>/Profiles/<tag>/<tag>.cfg: one SQLite file per profile holding its
// settings as typed rows. Profiles are never updated in place: saving writes a new database and
// keeps the previous one as <tag>.cfg.bak. Each call opens the database for its own length only.
#pragma once

#include <memory>
#include <string>

#include "base/context.h"
#include "base/profile.h"

namespace corvio {

class Config;

// <data>/Profiles/<tag>/<tag>.cfg
std::string profile_db_path(const Context& ctx, const std::string& tag);

// The check every tag passes before it names a file: A-Z are folded to a-z in place, and then
// only a-z, 0-9, '-' and '_' may remain, so that a tag can never name a path outside its
// profile directory. nullptr when the tag passes, otherwise the editor's text of the refusal.
const char* profile_tag_check(std::string& tag);

// Profile databases hold the server password in clear. Warns when users other than the owner
// may read or enter the data directory; for start-up, once per process.
void profile_check_data_dir_privacy(const Context& ctx);

// Reads a profile, fills in defaults, validates and clamps it. Returns nothing after showing
// why (a database that cannot be read is named with its tag, path and SQLite's reason, and
// left untouched); quiet suppresses every message but a failed statement preparation.
std::unique_ptr<Profile> profile_load(const Context& ctx, const std::string& tag, bool quiet);

// Reads only the description into *description (unchanged when the profile has none).
// 0 on success, 1 after showing why not.
int profile_load_description(const Context& ctx, const std::string& tag, std::string& description);

// Writes a complete new database for the profile (readable by its owner only) beside the old
// one, then puts it in place: the previous <tag>.cfg becomes <tag>.cfg.bak (one generation).
// Registers the tag only after that. 0 on success, 1 after showing why not; a save that fails
// before the new file is in place leaves the old profile, its .cfg.bak and its registration as
// they were. A tag that fails profile_tag_check is refused before anything is touched.
int profile_create(const Context& ctx, Config& config, const Profile& profile);

// Unregisters the tag and turns <tag>.cfg into <tag>.cfg.bak; catalogs and logs stay. 0; 1,
// touching nothing, for a tag that fails profile_tag_check.
int profile_delete(const Context& ctx, Config& config, const std::string& tag);

}  // namespace corvio
