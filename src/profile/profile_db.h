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

// Reads a profile, fills in defaults, validates and clamps it. Returns nothing after showing
// why; quiet suppresses every message but a failed statement preparation.
std::unique_ptr<Profile> profile_load(const Context& ctx, const std::string& tag, bool quiet);

// Reads only the description into *description (unchanged when the profile has none).
// 0 on success, 1 after showing why not.
int profile_load_description(const Context& ctx, const std::string& tag, std::string& description);

// Writes a complete new database for the profile, keeping the previous one as .cfg.bak, and
// registers the tag. 0 on success, 1 after showing why not.
int profile_create(const Context& ctx, Config& config, const Profile& profile);

// Unregisters the tag and turns <tag>.cfg into <tag>.cfg.bak; catalogs and logs stay. Always 0.
int profile_delete(const Context& ctx, Config& config, const std::string& tag);

}  // namespace corvio
