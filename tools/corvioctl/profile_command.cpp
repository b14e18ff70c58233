// SPDX-License-Identifier: Apache-2.0
#include "profile_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "json_writer.h"
#include "platform/terminal.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "profile/profile_editor.h"
#include "util/text.h"

namespace corvio {

namespace {

constexpr char kProfileUsage[] =
    "usage: corvioctl profile COMMAND ...\n"
    "\n"
    "commands:\n"
    "  create --tag TAG [OPTIONS]   create a profile\n"
    "  edit --tag TAG [OPTIONS]     change the given fields of a profile\n"
    "  show [--json] TAG            print every field of a profile\n"
    "  list [--json]                print the tag and description of every profile\n"
    "  delete TAG                   retire a profile (its catalogs and logs stay)\n"
    "\n"
    "A tag is 1-31 letters, digits, '-' and '_', in any letter case (it is stored and looked\n"
    "up in lower case); name a tag that begins with '-' after '--'. Logins and passwords are\n"
    "1-32 characters.\n"
    "Run 'corvioctl profile COMMAND --help' for the options of a command.\n";

constexpr char kFieldOptions[] =
    "options:\n"
    "  --tag TAG              1-31 letters, digits, '-' and '_' (stored in lower case)\n"
    "  --description TEXT     at most 255 characters\n"
    "  --server HOST          1-255 characters\n"
    "  --port N\n"
    "  --login NAME           1-32 characters\n"
    "  --password-stdin       read the password (1-32 characters) from the first line of\n"
    "                         standard input; typed without echo on a terminal\n"
    "  --priority 0-4         0 idle, 1 below normal, 2 normal, 3 above normal, 4 highest\n"
    "  --file-delay MS        pause between files, at most 10000\n"
    "  --block-delay MS       pause between blocks, at most 10000\n"
    "  --tx-limit RATE        turn the send limit on, at RATE\n"
    "  --no-tx-limit          turn the send limit off\n"
    "  --tx-unit 0-5          0 B/s, 1 KB/s, 2 MB/s, 3 bps, 4 kbps, 5 mbps\n"
    "  --rx-limit RATE        turn the receive limit on, at RATE\n"
    "  --no-rx-limit          turn the receive limit off\n"
    "  --rx-unit 0-5          as --tx-unit\n"
    "  --shadow-copy on|off\n"
    "  --include PATH         repeatable; replaces the stored include list, in order\n"
    "  --exclude PATTERN      repeatable; replaces the stored exclude list, in order\n";

constexpr const char* kPriorityNames[] = {"Idle", "Below Normal", "Normal", "Above Normal",
                                          "Highest"};
constexpr const char* kUnitNames[] = {"B/s", "KB/s", "MB/s", "bps", "kbps", "mbps"};

// The options of create and edit, as given. Absent options leave their field alone.
struct FieldOptions {
  std::optional<std::string> tag, description, server, login, password;
  std::optional<uint32_t> port, priority, file_delay, block_delay;
  std::optional<uint32_t> tx_rate, tx_unit, rx_rate, rx_unit;
  std::optional<bool> tx_limit, rx_limit, shadow_copy;
  std::optional<std::vector<std::string>> includes, excludes;
  bool help = false;
};

class UsageError {
 public:
  explicit UsageError(std::string text) : text(std::move(text)) {}
  std::string text;
};

uint32_t number(const std::string& option, const std::string& text, uint64_t max) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError(option + ": not a number: " + text);
  errno = 0;
  unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value > max)
    throw UsageError(option + ": " + text + " is above " + std::to_string(max));
  return static_cast<uint32_t>(value);
}

// A text that the profile would have to cut is refused, so nothing typed is silently lost.
std::string text(const std::string& option, const std::string& value, size_t max) {
  if (value.size() > max)
    throw UsageError(option + ": longer than " + std::to_string(max) + " characters");
  return value;
}

// One line of in. On a terminal the user is asked for it on prompt_out, and it is not echoed.
std::string read_password(std::FILE* in, std::FILE* prompt_out) {
  HiddenInput hidden(in);
  if (hidden.is_terminal()) {
    std::fputs("Password: ", prompt_out);
    std::fflush(prompt_out);
  }
  std::string line;
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

FieldOptions parse_field_options(const std::vector<std::string>& args, size_t first,
                                 const CtlIo& io) {
  FieldOptions o;
  for (size_t i = first; i < args.size(); i++) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(a + ": needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h")
      o.help = true;
    else if (a == "--tag")
      o.tag = text(a, value(), kTagChars);
    else if (a == "--description")
      o.description = text(a, value(), kDescriptionChars);
    else if (a == "--server")
      o.server = text(a, value(), kServerChars);
    else if (a == "--port")
      o.port = number(a, value(), 65535);
    else if (a == "--login")
      o.login = text(a, value(), kLoginChars);
    else if (a == "--password-stdin")
      o.password = text(a, read_password(io.password_in, io.err), kPasswordChars);
    else if (a == "--priority")
      o.priority = number(a, value(), 4);
    else if (a == "--file-delay")
      o.file_delay = number(a, value(), UINT32_MAX);
    else if (a == "--block-delay")
      o.block_delay = number(a, value(), UINT32_MAX);
    else if (a == "--tx-limit") {
      o.tx_rate = number(a, value(), UINT32_MAX);
      o.tx_limit = true;
    } else if (a == "--no-tx-limit")
      o.tx_limit = false;
    else if (a == "--tx-unit")
      o.tx_unit = number(a, value(), 5);
    else if (a == "--rx-limit") {
      o.rx_rate = number(a, value(), UINT32_MAX);
      o.rx_limit = true;
    } else if (a == "--no-rx-limit")
      o.rx_limit = false;
    else if (a == "--rx-unit")
      o.rx_unit = number(a, value(), 5);
    else if (a == "--shadow-copy") {
      const std::string& v = value();
      if (v != "on" && v != "off") throw UsageError(a + ": on or off, not " + v);
      o.shadow_copy = v == "on";
    } else if (a == "--include") {
      if (!o.includes) o.includes.emplace();
      o.includes->push_back(text(a, value(), kRulePathChars));
    } else if (a == "--exclude") {
      if (!o.excludes) o.excludes.emplace();
      o.excludes->push_back(text(a, value(), kRulePathChars));
    } else {
      throw UsageError("unknown option: " + a);
    }
  }
  return o;
}

// Puts the given options into the editor's fields, as if typed there. Rules go through the
// rule dialog's checks, so a duplicate or a wildcard include is refused the same way.
int apply(const Context& ctx, const FieldOptions& o, EditorFields& f) {
  if (o.tag) f.tag = *o.tag;
  if (o.description) f.description = *o.description;
  if (o.server) f.server = *o.server;
  if (o.port) f.port = std::to_string(*o.port);
  if (o.login) f.login = *o.login;
  if (o.password) f.password = *o.password;
  if (o.priority) f.throttling.priority_index = priority_index_for(*o.priority);
  if (o.file_delay) f.throttling.file_delay = std::to_string(*o.file_delay);
  if (o.block_delay) f.throttling.block_delay = std::to_string(*o.block_delay);
  if (o.tx_limit) f.throttling.tx_limit = *o.tx_limit;
  if (o.tx_rate) f.throttling.tx_rate = std::to_string(*o.tx_rate);
  if (o.tx_unit) f.throttling.tx_unit_index = static_cast<int>(*o.tx_unit);
  if (o.rx_limit) f.throttling.rx_limit = *o.rx_limit;
  if (o.rx_rate) f.throttling.rx_rate = std::to_string(*o.rx_rate);
  if (o.rx_unit) f.throttling.rx_unit_index = static_cast<int>(*o.rx_unit);
  if (o.shadow_copy) f.shadow_copy = *o.shadow_copy;
  if (!o.includes && !o.excludes) return 0;

  std::vector<RuleRow> rows;
  auto keep = [&](const char* mode, bool replaced) {
    if (replaced) return;
    for (const RuleRow& row : f.rules)
      if (row.mode == mode) rows.push_back(row);
  };
  keep(kInclude, o.includes.has_value());
  keep(kExclude, o.excludes.has_value());
  for (const std::string& path : o.includes.value_or(std::vector<std::string>{}))
    if (rule_dialog_ok(ctx, rows, path, true, -1, kRulePathChars) != 0) return 1;
  for (const std::string& path : o.excludes.value_or(std::vector<std::string>{}))
    if (rule_dialog_ok(ctx, rows, path, false, -1, kRulePathChars) != 0) return 1;
  // Includes before excludes, as the editor lists them.
  std::stable_partition(rows.begin(), rows.end(),
                        [](const RuleRow& r) { return r.mode == kInclude; });
  f.rules = rows;
  return 0;
}

int create(const Context& ctx, Config& config, const FieldOptions& o, const CtlIo& io) {
  if (!o.tag) throw UsageError("create: --tag is required");
  // The windows would store a profile without a login or password; it could never run.
  if (!o.login) throw UsageError("create: --login is required");
  if (!o.password) throw UsageError("create: --password-stdin is required");
  ProfileEditor editor(ctx, config, new_profile_defaults(), true);
  EditorFields f = editor_fields(editor.profile());
  // The editor folds and checks the tag before anything is written. corvioctl takes the
  // record's full widths, so that nothing it accepted is cut.
  if (apply(ctx, o, f) != 0 || editor.ok(f, kRecordFieldWidths) != 0) return kCtlFailed;
  std::fprintf(io.out, "created profile %s\n", editor.profile().tag.c_str());
  return kCtlOk;
}

int edit(const Context& ctx, Config& config, const FieldOptions& o, const CtlIo& io) {
  if (!o.tag) throw UsageError("edit: --tag is required");
  std::string tag = *o.tag;
  if (!checked_tag(ctx, tag)) return kCtlFailed;
  std::unique_ptr<Profile> loaded = profile_load(ctx, tag, false);
  if (!loaded) return kCtlFailed;
  // Every field not given stays exactly as loaded.
  EditorFields f = editor_fields(*loaded);
  ProfileEditor editor(ctx, config, std::move(loaded), false);
  if (apply(ctx, o, f) != 0) return kCtlFailed;
  f.tag = tag;
  if (editor.ok(f, kRecordFieldWidths) != 0) return kCtlFailed;
  std::fprintf(io.out, "saved profile %s\n", editor.profile().tag.c_str());
  return kCtlOk;
}

// Prints a stored text with its control characters and broken UTF-8 escaped.
void print_field(std::FILE* out, const char* name, const std::string& value) {
  std::fprintf(out, "%s: %s\n", name, printable(value).c_str());
}

void print_limit(std::FILE* out, const char* name, uint32_t enabled, uint32_t rate, uint32_t unit) {
  std::fprintf(out, "%s: %s, %u %s\n", name, enabled ? "on" : "off", rate,
               unit <= 5 ? kUnitNames[unit] : "?");
}

void json_limit(JsonWriter& json, const char* name, uint32_t enabled, uint32_t rate,
                uint32_t unit) {
  json.key(name);
  json.begin_object();
  json.key("on");
  json.boolean(enabled != 0);
  json.key("rate");
  json.number(rate);
  json.key("unit");
  json.number(unit);
  json.key("unit_name");
  json.string(unit <= 5 ? kUnitNames[unit] : "?");
  json.end_object();
}

void json_strings(JsonWriter& json, const char* name, const std::vector<std::string>& texts) {
  json.key(name);
  json.begin_array();
  for (const std::string& text : texts) json.string(text);
  json.end_array();
}

// Every field show prints, by the same names (spaces as '_'), with numbers as numbers.
void show_json(const Profile& p, std::FILE* out) {
  JsonWriter json(out);
  json.begin_object();
  json.key("tag");
  json.string(p.tag);
  json.key("description");
  json.string(p.description);
  json.key("server");
  json.string(p.server);
  json.key("port");
  json.number(p.port);
  json.key("login");
  json.string(p.login);
  const uint32_t priority = p.thread_priority.load();
  json.key("priority");
  json.number(priority);
  json.key("priority_name");
  json.string(priority <= 4 ? kPriorityNames[priority] : "?");
  json.key("file_delay_ms");
  json.number(p.file_delay_ms.load());
  json.key("block_delay_ms");
  json.number(p.block_delay_ms.load());
  json_limit(json, "tx_limit", p.tx_limit_enabled.load(), p.tx_limit_rate.load(),
             p.tx_limit_unit.load());
  json_limit(json, "rx_limit", p.rx_limit_enabled.load(), p.rx_limit_rate.load(),
             p.rx_limit_unit.load());
  json.key("shadow_copy");
  json.boolean(p.use_shadow_copy);
  json.key("block_size");
  json.number(static_cast<uint64_t>(p.block_size));
  json.key("reserved");
  json.string(p.reserved_parm);
  json_strings(json, "include", p.include_rules);
  json_strings(json, "exclude", p.exclude_rules);
  json.end_object();
  json.finish();
}

int show(const Context& ctx, const std::string& tag, bool as_json, const CtlIo& io) {
  std::unique_ptr<Profile> p = profile_load(ctx, tag, false);
  if (!p) return kCtlFailed;
  if (as_json) {
    show_json(*p, io.out);
    return kCtlOk;
  }
  std::FILE* out = io.out;
  print_field(out, "tag", p->tag);
  print_field(out, "description", p->description);
  print_field(out, "server", p->server);
  std::fprintf(out, "port: %u\n", p->port);
  print_field(out, "login", p->login);
  std::fprintf(out, "password: ********\n");
  uint32_t priority = p->thread_priority.load();
  std::fprintf(out, "priority: %u (%s)\n", priority, kPriorityNames[priority]);
  std::fprintf(out, "file delay: %u ms\n", p->file_delay_ms.load());
  std::fprintf(out, "block delay: %u ms\n", p->block_delay_ms.load());
  print_limit(out, "tx limit", p->tx_limit_enabled.load(), p->tx_limit_rate.load(),
              p->tx_limit_unit.load());
  print_limit(out, "rx limit", p->rx_limit_enabled.load(), p->rx_limit_rate.load(),
              p->rx_limit_unit.load());
  std::fprintf(out, "shadow copy: %s\n", p->use_shadow_copy ? "on" : "off");
  std::fprintf(out, "block size: %d\n", p->block_size);
  print_field(out, "reserved", p->reserved_parm);
  for (const std::string& rule : p->include_rules) print_field(out, "include", rule);
  for (const std::string& rule : p->exclude_rules) print_field(out, "exclude", rule);
  return kCtlOk;
}

int list(Config& config, bool as_json, const CtlIo& io) {
  if (config.load_profiles() != 0) return kCtlFailed;
  if (as_json) {
    JsonWriter json(io.out);
    json.begin_array();
    for (const ProfileListEntry& e : config.profile_list()) {
      json.begin_object();
      json.key("tag");
      json.string(e.tag);
      json.key("description");
      json.string(e.description);
      json.end_object();
    }
    json.end_array();
    json.finish();
    return kCtlOk;
  }
  for (const ProfileListEntry& e : config.profile_list())
    std::fprintf(io.out, "%s\t%s\n", printable(e.tag).c_str(), printable(e.description).c_str());
  return kCtlOk;
}

int remove(const Context& ctx, Config& config, const std::string& tag, const CtlIo& io) {
  if (!ctx.fs.exists(profile_db_path(ctx, tag))) {
    std::fprintf(io.err, "corvioctl: no profile named %s\n", printable(tag).c_str());
    return kCtlFailed;
  }
  if (profile_delete(ctx, config, tag) != 0) return kCtlFailed;
  std::fprintf(io.out, "deleted profile %s\n", tag.c_str());
  return kCtlOk;
}

}  // namespace

bool checked_tag(const Context& ctx, std::string& tag) {
  if (const char* problem = profile_tag_check(tag)) {
    ctx.messages.message_box(problem, "Invalid profile tag");
    return false;
  }
  return true;
}

bool take_flag(std::vector<std::string>& args, size_t first, const std::string& option) {
  bool found = false;
  for (size_t i = first; i < args.size() && args[i] != "--";) {
    if (args[i] == option) {
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      found = true;
    } else {
      i++;
    }
  }
  return found;
}

Operand single_operand(const std::vector<std::string>& args, size_t first, std::string* value) {
  if (args.size() == first + 1 && (args[first] == "--help" || args[first] == "-h"))
    return Operand::kHelp;
  size_t at = first;
  if (at < args.size() && args[at] == "--") {
    ++at;
  } else if (at < args.size() && args[at].starts_with("-")) {
    return Operand::kUsage;  // an option no command of this kind has
  }
  if (args.size() != at + 1) return Operand::kUsage;
  *value = args[at];
  return Operand::kValue;
}

int profile_command(const Context& ctx, Config& config, std::vector<std::string> args,
                    const CtlIo& io) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kProfileUsage, args.empty() ? io.err : io.out);
    return args.empty() ? kCtlUsage : kCtlOk;
  }
  const std::string command = args[0];
  auto open_config = [&] { return config.is_open() || config.open() == 0; };
  try {
    if (command == "create" || command == "edit") {
      FieldOptions o = parse_field_options(args, 1, io);
      if (o.help) {
        std::fprintf(io.out, "usage: corvioctl profile %s --tag TAG [OPTIONS]\n\n%s",
                     command.c_str(), kFieldOptions);
        return kCtlOk;
      }
      if (!open_config()) return kCtlFailed;
      return command == "create" ? create(ctx, config, o, io) : edit(ctx, config, o, io);
    }
    // "--json" is taken only by the commands that print profiles.
    const bool as_json = (command == "list" || command == "show") && take_flag(args, 1, "--json");
    if (command == "list") {
      if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        std::fputs("usage: corvioctl profile list [--json]\n", io.out);
        return kCtlOk;
      }
      if (args.size() != 1) {
        std::fputs("usage: corvioctl profile list [--json]\n", io.err);
        return kCtlUsage;
      }
      return open_config() ? list(config, as_json, io) : kCtlFailed;
    }
    if (command == "show" || command == "delete") {
      const std::string usage = "usage: corvioctl profile " + command +
                                (command == "show" ? " [--json]" : "") + " [--] TAG\n";
      std::string tag;
      switch (single_operand(args, 1, &tag)) {
        case Operand::kHelp:
          std::fputs(usage.c_str(), io.out);
          return kCtlOk;
        case Operand::kUsage:
          std::fputs(usage.c_str(), io.err);
          return kCtlUsage;
        case Operand::kValue:
          break;
      }
      text("TAG", tag, kTagChars);
      if (!checked_tag(ctx, tag)) return kCtlFailed;
      if (command == "show") return show(ctx, tag, as_json, io);
      return open_config() ? remove(ctx, config, tag, io) : kCtlFailed;
    }
    throw UsageError("unknown command: " + command);
  } catch (const UsageError& e) {
    std::fprintf(io.err, "corvioctl profile: %s\n", e.text.c_str());
    return kCtlUsage;
  }
}

}  // namespace corvio
