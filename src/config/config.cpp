#include "config/config.h"

#include <cstdio>

#include "base/version.h"
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

int Config::fail(const char* text, const char* title) {
  ctx_.messages.message_box(text, title);
  return 1;
}

int Config::open() {
  std::string path = ctx_.style.join(ctx_.data_dir, "corvio.dat");
  if (db_.open(path) != SQLITE_OK) return fail("Can't open configuration database!", "Blah!");
  db_.busy_timeout(kBusyTimeoutMs);

  std::string error;
  int rc = db_.exec("select type, client_type, ver_major, ver_minor, ver_build from corvio_info",
                    &error);
  if (rc == SQLITE_OK) return 0;
  if (rc == SQLITE_ERROR) {
    // No readable version table: the file is new or not ours, and is rebuilt empty.
    if (create_schema() != 0) {
      db_.close();
      return 1;
    }
    return 0;
  }
  ctx_.messages.message_box(error, "SQL Error");
  db_.close();
  return fail(("result = " + std::to_string(rc)).c_str(), "SQL Error");
}

int Config::close() {
  db_.close();
  return 0;
}

int Config::create_schema() {
  // The old tables may not exist; failing to drop them is expected.
  db_.exec("drop table corvio_info");
  db_.exec("drop table profiles");
  if (db_.exec(kCreateProfiles) != SQLITE_OK)
    return fail("Error initializing corvio.dat / profiles", "SQL Error");
  if (db_.exec(kCreateProfileIndex) != SQLITE_OK)
    return fail("Error creating indexes on corvio.dat / profiles", "SQL Error");
  if (db_.exec(kCreateInfo) != SQLITE_OK)
    return fail("Error initializing corvio.dat / corvio_info", "SQL Error");
  char seed[128];
  std::snprintf(seed, sizeof seed, "insert into corvio_info values ( null, 1, 1, %u, %u, %u )",
                kVersionMajor, kVersionMinor, kVersionBuild);
  if (db_.exec(seed) != SQLITE_OK)
    return fail("Error seeding initial corvio.dat / corvio_info records", "SQL Error");
  return 0;
}

int Config::remove_profile(const std::string& tag) {
  const char* title = "SQL Error in config_remove_profile";
  db::Statement st = db_.prepare("delete from profiles where profile=?");
  if (!st) return fail("Couldn't prepare SQL statement", title);
  if (st.bind_text(1, tag) != SQLITE_OK) return fail("Couldn't bind profile", title);
  if (st.step() != SQLITE_DONE) return fail("Error executing statement", title);
  return 0;
}

int Config::add_profile(const std::string& tag) {
  // Removing first makes adding an existing tag replace its row instead of colliding with the
  // unique index.
  remove_profile(tag);
  const char* title = "SQL Error in config_add_profile";
  db::Statement st = db_.prepare(
      "insert into profiles (profile,status,t_last,t_last_completed,runs,runs_completed,"
      "last_cat,last_cat_completed) values (?,?,0,0,0,0,0,0)");
  if (!st) return fail("Couldn't prepare SQL statement", title);
  if (st.bind_text(1, tag) != SQLITE_OK) return fail("Couldn't bind profile", title);
  if (st.bind_int(2, 2) != SQLITE_OK) return fail("Couldn't bind status", title);
  if (st.step() != SQLITE_DONE) return fail("Error executing statement", title);
  return 0;
}

int Config::load_profiles() {
  const char* title = "SQL Error in config_load_profiles";
  profile_list_free();
  db::Statement st = db_.prepare("select id,profile,status from profiles order by profile");
  if (!st) {
    fail("Couldn't prepare SQL statement", title);
    return 0;
  }
  int rc = st.step();
  if (rc == SQLITE_DONE) return 0;
  if (rc != SQLITE_ROW) return fail("Error executing statement", title);
  for (; rc == SQLITE_ROW; rc = st.step()) {
    ProfileListEntry entry;
    entry.id = st.column_int(0);
    entry.tag = bounded(st.column_text(1), kListTextChars);
    entry.status = st.column_int(2);
    if (profile_load_description(ctx_, entry.tag, entry.description) != 0) continue;
    profile_list_.push_back(std::move(entry));
  }
  return 0;
}

}  // namespace corvio
