// SPDX-License-Identifier: Apache-2.0
// Loading a hand-edited corvio.dat: the profiles table holds arbitrary rows (any types, any
// lengths, NULLs, duplicate or missing columns' values), and one registered profile has a real
// database whose description is arbitrary too. Opening and listing must either fail with a
// message or give a list whose texts are within their widths.
#include <cstdint>
#include <string>

#include "db/database.h"
#include "fuzz_sql.h"
#include "platform/directories.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "support/test_world.h"

using namespace corvio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  test::TestWorld w;

  // One profile database that the register may name, with an arbitrary description row.
  const std::string tag = "p";
  make_dirs(w.ctx.profile_dir(tag));
  {
    db::Database db;
    FUZZ_CHECK(db.open(profile_db_path(w.ctx, tag)) == SQLITE_OK);
    std::string sql = fuzz::sql_version_table(in);
    sql += "create table config (id integer primary key, type, parm, parm2);";
    sql += "insert into config (type, parm, parm2) values (10, " + fuzz::sql_value(in) + ", '');";
    FUZZ_CHECK(db.exec(sql) == SQLITE_OK);
  }

  std::string sql = fuzz::sql_version_table(in);
  if (in.byte() % 8 != 0) {
    sql +=
        "create table profiles (id integer primary key, profile, status, t_last, "
        "t_last_completed, runs, runs_completed, last_cat, last_cat_completed);";
  }
  for (int rows = 0; !in.empty() && rows < 32; ++rows) {
    // Most rows name the real profile, so that its description is read.
    std::string profile = in.byte() % 2 ? "'p'" : fuzz::sql_value(in);
    std::string id = fuzz::sql_value(in);
    std::string status = fuzz::sql_value(in);
    sql += "insert into profiles (id, profile, status) values (" + id + ", " + profile + ", " +
           status + ");";
  }
  {
    db::Database db;
    FUZZ_CHECK(db.open(w.ctx.style.join(w.ctx.data_dir, "corvio.dat")) == SQLITE_OK);
    // Duplicate ids make an insert fail; the rows before it stay, as in any hand edit.
    db.exec(sql);
  }

  Config config(w.ctx);
  if (config.open() != 0) return 0;
  if (config.load_profiles() == 0) {
    for (const ProfileListEntry& entry : config.profile_list()) {
      FUZZ_CHECK(entry.tag.size() <= kListTextChars);
      FUZZ_CHECK(entry.description.size() <= kDescriptionChars);
    }
  }
  config.close();
  return 0;
}
