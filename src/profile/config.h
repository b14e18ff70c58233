// SPDX-License-Identifier: Apache-2.0
// Config: the configuration database corvio.dat, the register of which profile tags exist, and
// the in-memory profile list loaded from it. The settings of each profile live in the
// profile's own database; this one only names the tags. Used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/context.h"
#include "db/database.h"
#include "db/steps.h"

namespace corvio {

// Width of a listed tag and description, in characters.
inline constexpr size_t kListTextChars = 255;

struct ProfileListEntry {
  int32_t status = 0;  // loaded, used by nothing
  std::string tag;
  std::string description;
  int32_t id = 0;  // loaded, used by nothing
};

class Config {
 public:
  explicit Config(const Context& ctx) : ctx_(ctx) {}

  // Opens or creates corvio.dat in the data directory. A file that does not exist or holds no
  // table gets the schema; one whose version table cannot be read is reported with its path and
  // SQLite's reason and left untouched, and open() fails.
  int open();
  // Closes the database if it is open. Always 0.
  int close();
  // Creates both tables and the index and writes the version row, all or nothing. For a
  // database that holds no table yet.
  int create_schema();
  // Registers a tag, replacing any row with the same tag (the old row stays when this fails).
  int add_profile(const std::string& tag);
  // Deletes the row of a tag; a tag without a row is success.
  int remove_profile(const std::string& tag);
  // Rebuilds the profile list from the database, in byte order of the tags. A profile whose
  // description cannot be read has shown why and is left out. 1 after a message when the
  // register itself cannot be read to its end.
  int load_profiles();
  void profile_list_free() { profile_list_.clear(); }

  const std::vector<ProfileListEntry>& profile_list() const { return profile_list_; }
  bool is_open() const { return db_.is_open(); }

 private:
  int fail(std::string_view text, const char* title);
  // fail() under one title, as the report of a db::Steps.
  auto report(const char* title) {
    return [this, title](std::string_view text) { fail(text, title); };
  }

  const Context& ctx_;
  db::Database db_;
  std::vector<ProfileListEntry> profile_list_;
};

}  // namespace corvio
