// SPDX-License-Identifier: Apache-2.0
#include "profile/config.h"

#include <cstdio>

#include "base/version.h"
#include "db/version_table.h"
#include "profile/profile_db.h"
#include "util/text.h"

namespace corvio {

namespace {

constexpr int kBusyTimeoutMs = 120000;

constexpr char kCreateProfiles[] =
    "create table profiles ( id integer not null primary key autoincrement, profile "
    "varchar(64) not null, status integer unsigned not null, t_last integer unsigned not null, "
    "t_last_completed integer unsigned not null, runs integer unsigned not null, "
    "runs_completed integer unsigned not null, last_cat integer unsigned not null, "
    "last_cat_completed integer unsigned not null )";
constexpr char kCreateProfileIndex[] = "create unique index profile_idx on profiles( profile )";
constexpr char kCreateInfo[] =
    "create table corvio_info ( id integer not null primary key autoincrement, type integer "
    "unsigned not null, client_type integer unsigned not null, ver_major integer unsigned not "
    "null, ver_minor integer unsigned not null, ver_build integer unsigned not null )";

}  // namespace

int Config::fail(std::string_view text, const char* title) {
  ctx_.messages.message_box(text, title);
  return 1;
}

int Config::open() {
  const std::string path = ctx_.style.join(ctx_.data_dir, "corvio.dat");
  std::string error;
  if (db_.open(path, &error) != SQLITE_OK)
    return fail("Can't open configuration database!\n" + path + "\n" + error, "Blah!");
  db_.busy_timeout(kBusyTimeoutMs);

  switch (db::check_version_table(db_, &error)) {
    case db::VersionCheck::kReadable:
      return 0;
    case db::VersionCheck::kNew:
      if (create_schema() == 0) return 0;
      db_.close();
      return 1;
    case db::VersionCheck::kUnreadable:
      break;
  }
  // The register of every profile is never rebuilt on the spot: the file stays as it is for
  // the user to restore or remove.
  db_.close();
  return fail("Can't read configuration database!\n" + path + "\n" + error, "SQL Error");
}

int Config::close() {
  db_.close();
  return 0;
}

int Config::create_schema() {
  // One transaction, so that a failure leaves no half-made schema that would then count as a
  // database that cannot be read.
  db::Transaction schema(db_);
  if (db_.exec(kCreateProfiles) != SQLITE_OK)
    return fail("Error initializing corvio.dat / profiles", "SQL Error");
  if (db_.exec(kCreateProfileIndex) != SQLITE_OK)
    return fail("Error creating indexes on corvio.dat / profiles", "SQL Error");
  if (db_.exec(kCreateInfo) != SQLITE_OK)
    return fail("Error initializing corvio.dat / corvio_info", "SQL Error");
  char seed[128];
  std::snprintf(seed, sizeof seed, "insert into corvio_info values ( null, 1, 1, %u, %u, %u )",
                kVersionMajor, kVersionMinor, kVersionBuild);
  if (db_.exec(seed) != SQLITE_OK || schema.commit() != SQLITE_OK)
    return fail("Error seeding initial corvio.dat / corvio_info records", "SQL Error");
  return 0;
}

int Config::remove_profile(const std::string& tag) {
  db::Statement st = db_.prepare("delete from profiles where profile=?");
  if (!db::Steps(st, report("SQL Error in config_remove_profile"))
           .bind_text(1, tag, "Couldn't bind profile")
           .done("Error executing statement"))
    return 1;
  return 0;
}

int Config::add_profile(const std::string& tag) {
  // Removing first makes adding an existing tag replace its row instead of colliding with the
  // unique index; one transaction, so that a failed insert keeps the old row.
  db::Transaction replace(db_);
  if (remove_profile(tag) != 0) return 1;
  const char* title = "SQL Error in config_add_profile";
  db::Statement st = db_.prepare(
      "insert into profiles (profile,status,t_last,t_last_completed,runs,runs_completed,"
      "last_cat,last_cat_completed) values (?,?,0,0,0,0,0,0)");
  if (!db::Steps(st, report(title))
           .bind_text(1, tag, "Couldn't bind profile")
           .bind_int(2, 2, "Couldn't bind status")
           .done("Error executing statement"))
    return 1;
  st.finalize();
  if (replace.commit() != SQLITE_OK) return fail("Error executing statement", title);
  return 0;
}

int Config::load_profiles() {
  const char* title = "SQL Error in config_load_profiles";
  profile_list_free();
  // A register that cannot be read to its end is a failure, not a shorter list: callers must
  // not take a missing profile for one that was never there.
  db::Statement st = db_.prepare("select id,profile,status from profiles order by profile");
  db::Steps steps(st, report(title));
  while (steps.row("Error executing statement")) {
    ProfileListEntry entry;
    entry.id = st.column_int(0);
    entry.tag = bounded(st.column_text(1), kListTextChars);
    entry.status = st.column_int(2);
    if (profile_load_description(ctx_, entry.tag, entry.description) != 0) continue;
    profile_list_.push_back(std::move(entry));
  }
  return steps ? 0 : 1;
}

}  // namespace corvio
