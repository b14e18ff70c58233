// SPDX-License-Identifier: Apache-2.0
// Loading a hand-edited profile database: the config table holds arbitrary rows (any types, any
// lengths, NULLs) and the loader must either refuse it with a message or give back a profile
// whose every value is within its width and range.
#include <cstdint>
#include <string>

#include "db/database.h"
#include "fuzz_sql.h"
#include "platform/directories.h"
#include "profile/profile_db.h"
#include "support/test_world.h"

using namespace corvio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  test::TestWorld w;
  const std::string tag = "p";
  bool quiet = in.byte() & 1;
  std::string sql = fuzz::sql_version_table(in);
  // Declared without types or constraints, so that each value keeps the type it was given.
  sql += "create table config (id integer primary key, type, parm, parm2);";
  for (int rows = 0; !in.empty() && rows < 64; ++rows) {
    // One value per statement: the operands of + are evaluated in no fixed order.
    std::string type = fuzz::sql_value(in);
    std::string parm = fuzz::sql_value(in);
    std::string parm2 = fuzz::sql_value(in);
    sql += "insert into config (type, parm, parm2) values (" + type + ", " + parm + ", " + parm2 +
           ");";
  }
  make_dirs(w.ctx.profile_dir(tag));
  {
    db::Database db;
    FUZZ_CHECK(db.open(profile_db_path(w.ctx, tag)) == SQLITE_OK);
    FUZZ_CHECK(db.exec(sql) == SQLITE_OK);
  }

  std::unique_ptr<Profile> p = profile_load(w.ctx, tag, quiet);
  if (p) {
    FUZZ_CHECK(!p->server.empty() && !p->login.empty() && !p->password.empty());
    FUZZ_CHECK(p->tag == tag);
    FUZZ_CHECK(p->server.size() <= kServerChars && p->login.size() <= kLoginChars);
    FUZZ_CHECK(p->password.size() <= kPasswordChars);
    FUZZ_CHECK(p->description.size() <= kDescriptionChars);
    FUZZ_CHECK(p->reserved_parm.size() <= kReservedParmChars);
    for (const std::string& rule : p->include_rules) FUZZ_CHECK(rule.size() <= kRulePathChars);
    for (const std::string& rule : p->exclude_rules) FUZZ_CHECK(rule.size() <= kRulePathChars);
    FUZZ_CHECK(p->port != 0);
    FUZZ_CHECK(p->block_size >= 256 && p->block_size <= 4096);
    FUZZ_CHECK(p->thread_priority.load() <= 4);
    FUZZ_CHECK(p->tx_limit_unit.load() <= 5 && p->rx_limit_unit.load() <= 5);
  }
  std::string description;
  if (profile_load_description(w.ctx, tag, description) == 0)
    FUZZ_CHECK(description.size() <= kDescriptionChars);
  return 0;
}
