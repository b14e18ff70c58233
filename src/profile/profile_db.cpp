// SPDX-License-Identifier: Apache-2.0
#include "profile/profile_db.h"

#include <cstdio>

#include "base/version.h"
#include "db/database.h"
#include "db/steps.h"
#include "db/version_table.h"
#include "platform/file_modes.h"
#include "profile/config.h"
#include "util/text.h"

namespace corvio {

namespace {

constexpr int kBusyTimeoutMs = 10;

constexpr char kCreateConfig[] =
    "create table config ( id integer not null primary key autoincrement, type varchar(1024) "
    "not null, parm varchar(1024) not null, parm2 varchar(1024) not null )";
constexpr char kCreateConfigIndex[] = "create index config_type on config( type )";
constexpr char kCreateInfo[] =
    "create table corvio_info ( id integer not null primary key autoincrement, type integer "
    "unsigned not null, client_type integer unsigned not null, ver_major integer unsigned not "
    "null, ver_minor integer unsigned not null, ver_build integer unsigned not null )";

// Config row types.
enum : int {
  kTypeServer = 1,
  kTypePort = 2,
  kTypeLogin = 3,
  kTypePassword = 4,
  kTypeReserved = 5,
  kTypeVersionMajor = 6,
  kTypeVersionMinor = 7,
  kTypeVersionBuild = 8,
  kTypeBlockSize = 9,
  kTypeDescription = 10,
  kTypeTag = 11,
  kTypePriority = 12,
  kTypeFileDelay = 13,
  kTypeBlockDelay = 14,
  kTypeTxEnabled = 15,
  kTypeTxUnit = 16,
  kTypeTxRate = 17,
  kTypeRxEnabled = 18,
  kTypeRxUnit = 19,
  kTypeRxRate = 20,
  kTypeShadowCopy = 32,
  kTypeInclude = 128,
  kTypeExclude = 129,
};

uint32_t decimal(const std::string& text) { return static_cast<uint32_t>(parse_decimal(text)); }

bool is_tag_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Opens the existing database of a profile for reading, with the short busy time-out every
// profile call uses, and checks its version table. False after show() was given the reason:
// the path itself titled "Backup Profile Missing!" for a missing file, otherwise the tag, the
// path and SQLite's reason under open_title or read_title.
template <typename Show>
bool open_for_reading(const Context& ctx, const std::string& tag, db::Database& db, Show show,
                      const char* read_title) {
  // A tag written into corvio.dat by hand could name a file outside the profiles' folder.
  std::string checked = tag;
  if (const char* problem = profile_tag_check(checked)) {
    show("Profile tag \"" + tag + "\" is not opened:\n" + problem, "Backup Profile Error");
    return false;
  }
  const std::string path = profile_db_path(ctx, tag);
  if (!ctx.fs.exists(path)) {
    show(path, "Backup Profile Missing!");
    return false;
  }
  const std::string where = "\nProfile " + tag + ": " + path + "\n";
  std::string error;
  if (db.open_existing(path, &error) != SQLITE_OK) {
    show("Can't open profile's database!" + where + error, "Meridane Online Backup");
    return false;
  }
  db.busy_timeout(kBusyTimeoutMs);
  if (db::check_version_table(db, &error) != db::VersionCheck::kReadable) {
    show("Can't read profile's database!" + where + error, read_title);
    return false;
  }
  return true;
}

// Writes the config rows of a new profile database, one statement per row.
struct RowWriter {
  const Context& ctx;
  db::Database& db;
  const char* title;  // of the messages

  // A row whose text the user typed is bound, so that no quoting can break the statement.
  // False after its message.
  bool text(int type, std::string_view value) {
    db::Statement st = db.prepare("insert into config( type, parm, parm2 ) values (?,?,'')");
    return db::Steps(st,
                     [this](std::string_view failure) { ctx.messages.message_box(failure, title); })
        .bind_int(1, type)
        .bind_text(2, value)
        .done("Error executing statement");
  }
  // Rows of numbers are formatted into the statement; they cannot fail on their own, and a
  // write error shows at the commit. The rows before the version rows have always been
  // written without the blank after "config"; both texts store the same row.
  void number(int type, unsigned value) {
    char sql[128];
    std::snprintf(sql, sizeof sql,
                  type < kTypeVersionMajor
                      ? "insert into config( type, parm, parm2 ) values (%u,%u,'')"
                      : "insert into config ( type, parm, parm2 ) values (%u,%u,'')",
                  static_cast<unsigned>(type), value);
    db.exec(sql);
  }
};

// How a row's parm is read into a Profile: cut to the field's width, or read as a decimal in
// the field's own width (a port keeps its low 16 bits), or appended to a rule list.
template <std::string Profile::*field, size_t width>
void read_text(Profile& p, const std::string& parm) {
  p.*field = bounded(parm, width);
}
template <auto field>
void read_decimal(Profile& p, const std::string& parm) {
  p.*field = decimal(parm);
}
template <std::vector<std::string> Profile::*rules>
void read_rule(Profile& p, const std::string& parm) {
  (p.*rules).push_back(bounded(parm, kRulePathChars));
}

// How profile_create writes a row from a Profile: the field's text bound, its number (or a
// constant) formatted, or one bound row per rule in list order. False after its message.
template <std::string Profile::*field>
bool write_text(RowWriter& rows, int type, const Profile& p) {
  return rows.text(type, p.*field);
}
template <auto field>
bool write_decimal(RowWriter& rows, int type, const Profile& p) {
  rows.number(type, p.*field);
  return true;
}
template <uint32_t value>
bool write_constant(RowWriter& rows, int type, const Profile&) {
  rows.number(type, value);
  return true;
}
template <std::vector<std::string> Profile::*rules>
bool write_rules(RowWriter& rows, int type, const Profile& p) {
  for (const std::string& rule : p.*rules)
    if (!rows.text(type, rule)) return false;
  return true;
}

// One type of config row: how profile_load reads it and how profile_create writes it.
struct ProfileField {
  int type;
  void (*read)(Profile& p, const std::string& parm);  // nullptr: known, and skipped on load
  bool (*write)(RowWriter& rows, int type, const Profile& p);  // nullptr: never written
};

// Every type this program knows, in the order profile_create writes them.
constexpr ProfileField kProfileFields[] = {
    {0, nullptr, nullptr},
    {kTypeServer, read_text<&Profile::server, kServerChars>, write_text<&Profile::server>},
    {kTypePort, read_decimal<&Profile::port>, write_decimal<&Profile::port>},
    {kTypeLogin, read_text<&Profile::login, kLoginChars>, write_text<&Profile::login>},
    {kTypePassword, read_text<&Profile::password, kPasswordChars>, write_text<&Profile::password>},
    {kTypeReserved, read_text<&Profile::reserved_parm, kReservedParmChars>, write_constant<1>},
    {kTypeVersionMajor, nullptr, write_constant<kVersionMajor>},
    {kTypeVersionMinor, nullptr, write_constant<kVersionMinor>},
    {kTypeVersionBuild, nullptr, write_constant<kVersionBuild>},
    {kTypeBlockSize, read_decimal<&Profile::block_size>, nullptr},
    {kTypeDescription, read_text<&Profile::description, kDescriptionChars>,
     write_text<&Profile::description>},
    {kTypeTag, nullptr, write_text<&Profile::tag>},  // on load the tag is the file's name
    {kTypePriority, read_decimal<&Profile::thread_priority>,
     write_decimal<&Profile::thread_priority>},
    {kTypeFileDelay, read_decimal<&Profile::file_delay_ms>, write_decimal<&Profile::file_delay_ms>},
    {kTypeBlockDelay, read_decimal<&Profile::block_delay_ms>,
     write_decimal<&Profile::block_delay_ms>},
    {kTypeTxEnabled, read_decimal<&Profile::tx_limit_enabled>,
     write_decimal<&Profile::tx_limit_enabled>},
    {kTypeTxUnit, read_decimal<&Profile::tx_limit_unit>, write_decimal<&Profile::tx_limit_unit>},
    {kTypeTxRate, read_decimal<&Profile::tx_limit_rate>, write_decimal<&Profile::tx_limit_rate>},
    {kTypeRxEnabled, read_decimal<&Profile::rx_limit_enabled>,
     write_decimal<&Profile::rx_limit_enabled>},
    {kTypeRxUnit, read_decimal<&Profile::rx_limit_unit>, write_decimal<&Profile::rx_limit_unit>},
    {kTypeRxRate, read_decimal<&Profile::rx_limit_rate>, write_decimal<&Profile::rx_limit_rate>},
    {kTypeShadowCopy, read_decimal<&Profile::use_shadow_copy>,
     write_decimal<&Profile::use_shadow_copy>},
    {kTypeInclude, read_rule<&Profile::include_rules>, write_rules<&Profile::include_rules>},
    {kTypeExclude, read_rule<&Profile::exclude_rules>, write_rules<&Profile::exclude_rules>},
};

// Applies one stored row to the profile. False for a type this program does not know.
bool apply_row(Profile& p, int type, const std::string& parm) {
  for (const ProfileField& field : kProfileFields) {
    if (field.type != type) continue;
    if (field.read) field.read(p, parm);
    return true;
  }
  return false;
}

// Brings loaded values into their ranges.
void normalise(Profile& p) {
  if (p.port == 0) p.port = kDefaultPort;
  if (p.block_size < 256) p.block_size = 256;
  if (p.block_size > 4096) p.block_size = 4096;
  if (p.thread_priority.load() > 4) p.thread_priority.store(2);
  if (p.tx_limit_unit.load() > 5) p.tx_limit_unit.store(1);
  if (p.rx_limit_unit.load() > 5) p.rx_limit_unit.store(1);
}

std::string profile_dir_file(const Context& ctx, const std::string& tag, const char* suffix) {
  return ctx.style.join(ctx.profile_dir(tag), tag + suffix);
}

}  // namespace

std::string profile_db_path(const Context& ctx, const std::string& tag) {
  return profile_dir_file(ctx, tag, ".cfg");
}

const char* profile_tag_check(std::string& tag) {
  if (tag.empty()) return "A profile tag must be entered!";
  tag = lower_ascii(tag);
  for (char c : tag) {
    if (!is_tag_char(c))
      return "Profile tags may only consist of letters, numbers,\ndashes or underscores.";
  }
  return nullptr;
}

void profile_check_data_dir_privacy(const Context& ctx) {
  if (!accessible_by_others(ctx.data_dir)) return;
  ctx.messages.message_box("Other users can read or enter the data directory " + ctx.data_dir +
                               ", and the profile databases in it hold server passwords. "
                               "Consider: " +
                               owner_only_folder_command(ctx.data_dir),
                           "Meridane Online Backup");
}

std::unique_ptr<Profile> profile_load(const Context& ctx, const std::string& tag, bool quiet) {
  auto show = [&](const std::string& text, const char* title) {
    if (!quiet) ctx.messages.message_box(text, title);
  };
  db::Database db;
  if (!open_for_reading(ctx, tag, db, show, "Blah!")) return nullptr;

  auto p = std::make_unique<Profile>();
  p->tag = bounded(tag, kTagChars);
  p->thread_priority.store(1);
  p->tx_limit_unit.store(1);
  p->rx_limit_unit.store(1);
  p->block_size = 4096;
  p->use_shadow_copy = 1;

  db::Statement st = db.prepare("select id,type,parm,parm2 from config");
  // Shown even when quiet.
  if (!db::Steps(st, [&](std::string_view text) {
        ctx.messages.message_box(text, "SQL Error in profile_load");
      }))
    return nullptr;
  int rc = st.step();
  for (; rc == SQLITE_ROW; rc = st.step()) {
    if (!apply_row(*p, st.column_int(1), st.column_text(2)))
      show("Unrecognized profile parameter!", "Warning loading profile");
  }
  // A profile read only in part must not load: saving it again would drop the rest.
  if (rc != SQLITE_DONE) {
    show("Can't read profile's database!\nProfile " + tag + ": " + profile_db_path(ctx, tag) +
             "\n" + db.error_message(),
         "Blah!");
    return nullptr;
  }

  const char* title = "Backup Profile Error";
  if (p->server.empty()) {
    show("No server specified in backup profile!", title);
    return nullptr;
  }
  if (p->login.empty()) {
    show("No login specified in backup profile!", title);
    return nullptr;
  }
  if (p->password.empty()) {
    show("No password specified in backup profile!", title);
    return nullptr;
  }
  normalise(*p);
  return p;
}

int profile_load_description(const Context& ctx, const std::string& tag, std::string& description) {
  db::Database db;
  auto show = [&](const std::string& text, const char* t) { ctx.messages.message_box(text, t); };
  if (!open_for_reading(ctx, tag, db, show, "Meridane Online Backup")) return 1;
  db::Statement st = db.prepare("select parm from config where type=10");
  db::Steps steps(st, [&](std::string_view text) {
    ctx.messages.message_box(text, "SQL Error in profile_load_description");
  });
  if (steps.row("Error executing statement"))
    description = bounded(st.column_text(0), kDescriptionChars);
  return steps ? 0 : 1;
}

// Refuses, with the editor's text, a tag that could name a file outside its profile directory.
// The letter case is the caller's: a tag registered by hand may hold capitals.
bool safe_tag(const Context& ctx, const std::string& tag, const char* title) {
  std::string folded = tag;
  const char* problem = profile_tag_check(folded);
  if (!problem) return true;
  ctx.messages.message_box(problem, title);
  return false;
}

int profile_delete(const Context& ctx, Config& config, const std::string& tag) {
  if (!safe_tag(ctx, tag, "Unable to delete profile")) return 1;
  config.remove_profile(tag);
  std::string cfg = profile_dir_file(ctx, tag, ".cfg");
  std::string bak = profile_dir_file(ctx, tag, ".cfg.bak");
  // Failures are ignored: a profile whose files are already gone is retired all the same.
  if (ctx.fs.exists(bak)) ctx.fs.remove(bak);
  ctx.fs.rename(cfg, bak);
  return 0;
}

namespace {

// Writes the complete database of a profile into the empty file at path. 0, or 1 after its
// message.
int write_profile_db(const Context& ctx, const std::string& path, const Profile& p) {
  const char* title = "SQL Error in profile_create";
  db::Database db;
  std::string error;
  if (db.open_existing(path, &error) != SQLITE_OK) {
    ctx.messages.message_box("Can't open profile's database!\n" + path + "\n" + error,
                             "Meridane Online Backup");
    return 1;
  }
  db.busy_timeout(kBusyTimeoutMs);

  {
    db::Transaction schema(db);
    const char* failure = nullptr;
    if (db.exec(kCreateConfig) != SQLITE_OK)
      failure = "Error initializing profile / config";
    else if (db.exec(kCreateConfigIndex) != SQLITE_OK)
      failure = "Error indexing profile / config";
    else if (db.exec(kCreateInfo) != SQLITE_OK)
      failure = "Error initializing profile / corvio_info";
    else if (schema.commit() != SQLITE_OK)
      failure = "Error initializing profile / config";
    if (failure) {
      ctx.messages.message_box(failure, "SQL Error");
      return 1;
    }
  }

  db::Transaction rows(db);
  RowWriter writer{ctx, db, title};
  for (const ProfileField& field : kProfileFields)
    if (field.write && !field.write(writer, field.type, p)) return 1;

  char seed[128];
  std::snprintf(seed, sizeof seed, "insert into corvio_info values ( null, 32, 1, %u, %u, %u )",
                kVersionMajor, kVersionMinor, kVersionBuild);
  if (db.exec(seed) != SQLITE_OK) {
    ctx.messages.message_box("Error seeding initial profile / corvio_info records", title);
    return 1;
  }
  if (rows.commit(&error) != SQLITE_OK) {
    // Reporting a save that did not reach the disk as done would lose the user's settings.
    ctx.messages.message_box("Error executing statement\n" + error, title);
    return 1;
  }
  return 0;
}

}  // namespace

int profile_create(const Context& ctx, Config& config, const Profile& p) {
  if (!safe_tag(ctx, p.tag, "Unable to create profile")) return 1;
  ctx.fs.make_dir(ctx.style.join(ctx.data_dir, "Profiles"));
  ctx.fs.make_dir(ctx.profile_dir(p.tag));

  // The new database is written beside the old one and takes its place only once complete, so
  // a save that fails half-way (a full disk) leaves the old profile as it was, registered.
  const std::string cfg = profile_db_path(ctx, p.tag);
  const std::string bak = cfg + ".bak";
  const std::string temp = cfg + ".new";
  auto discard_temp = [&] {
    ctx.fs.remove(temp);
    ctx.fs.remove(temp + "-journal");
  };
  discard_temp();  // left by a save that was interrupted
  std::string error;
  // The database holds the password in clear: readable by its owner only from the start.
  if (!create_owner_only_file(temp, &error)) {
    ctx.messages.message_box("Can't open profile's database!\n" + error, "Meridane Online Backup");
    return 1;
  }
  if (write_profile_db(ctx, temp, p) != 0) {
    discard_temp();
    return 1;
  }

  const bool had_cfg = ctx.fs.exists(cfg);
  if (had_cfg) {
    if (!ctx.fs.rename(cfg, bak)) {
      discard_temp();
      ctx.messages.message_box("Can't keep the previous profile database as " + bak,
                               "Meridane Online Backup");
      return 1;
    }
    restrict_to_owner(bak);  // written before profile databases were private
  }
  if (!ctx.fs.rename(temp, cfg)) {
    if (had_cfg) ctx.fs.rename(bak, cfg);
    discard_temp();
    ctx.messages.message_box("Can't put the new profile database in place at " + cfg,
                             "Meridane Online Backup");
    return 1;
  }
  // Every save registers the tag afresh, so its row starts with zero runs.
  return config.add_profile(p.tag);
}

}  // namespace corvio
