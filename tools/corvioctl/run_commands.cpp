// SPDX-License-Identifier: Apache-2.0
#include "run_commands.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>

#include "base/profile.h"
#include "engine/run_log.h"
#include "json_writer.h"
#include "catalog/run_list.h"
#include "util/text.h"

namespace corvio {
namespace {

constexpr char kRunsUsage[] =
    "usage: corvioctl runs [--json] TAG\n"
    "\n"
    "Lists the runs of a profile whose catalog or log is on this machine, oldest first, one\n"
    "line each, tab-separated: catalog number, start and end (UTC), outcome (completed,\n"
    "cancelled, failed or incomplete), files, bytes, stored bytes, errors and notes. '-' marks\n"
    "what neither file records.\n"
    "With --json, one JSON array of objects with the members catalog (the number as 'log'\n"
    "takes it), start and end (ISO 8601 UTC), outcome, files, bytes, stored, errors (null\n"
    "where neither file records them), has_catalog, has_log, and catalog_error and log_error\n"
    "(null, or why the file could not be read).\n";

constexpr char kLogUsage[] =
    "usage: corvioctl log TAG [N]\n"
    "\n"
    "Prints the log of run N of a profile, N its catalog number in hexadecimal as\n"
    "'corvioctl runs' lists it (1a2b or 00001a2b); by default the newest run's log.\n";

bool is_help(const std::string& word) { return word == "--help" || word == "-h"; }

int usage_error(const CtlIo& io, const std::string& command, const std::string& text) {
  std::fprintf(io.err, "corvioctl %s: %s\n", command.c_str(), printable(text).c_str());
  return kCtlUsage;
}

// A run number as typed: one to eight hexadecimal digits, either letter case.
std::optional<uint32_t> run_number(const std::string& text) {
  uint32_t number = 0;
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, number, 16);
  if (text.empty() || text.size() > 8 || ec != std::errc() || at != end) return std::nullopt;
  return number;
}

bool profile_exists(const Context& ctx, const std::string& tag, const CtlIo& io) {
  // The folder, not the profile database: a deleted profile keeps its catalogs and logs.
  std::optional<FileInfo> dir = ctx.fs.find(ctx.profile_dir(tag));
  if (dir && dir->is_directory()) return true;
  std::fprintf(io.err, "corvioctl: no profile named %s\n", tag.c_str());
  return false;
}

// "2026-12-09 03:04:05", or with iso "2026-12-09T03:04:05Z".
std::string utc_text(uint32_t seconds, bool iso) {
  using namespace std::chrono;
  const sys_seconds at{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss time{at - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02d:%02d:%02d%s",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), iso ? 'T' : ' ',
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), iso ? "Z" : "");
  return text;
}

std::string utc_text(std::optional<uint32_t> seconds) {
  return seconds ? utc_text(*seconds, false) : "-";
}

std::string count_text(std::optional<uint64_t> value) {
  return value ? std::to_string(*value) : "-";
}

std::string notes_of(const RunSummary& run) {
  std::string notes;
  auto note = [&notes](const std::string& text) {
    notes += (notes.empty() ? "" : "; ") + printable(text);
  };
  if (!run.has_catalog) note("no catalog");
  if (!run.catalog_error.empty()) note("catalog unreadable: " + run.catalog_error);
  if (!run.has_log) note("no log");
  if (!run.log_error.empty()) note("log unreadable: " + run.log_error);
  return notes;
}

std::optional<std::string> text_or_null(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

void runs_json(const std::vector<RunSummary>& runs, std::FILE* out) {
  JsonWriter json(out);
  json.begin_array();
  for (const RunSummary& run : runs) {
    char number[16];
    std::snprintf(number, sizeof number, "%08x", run.number);
    json.begin_object();
    json.key("catalog");
    json.string(number);
    for (auto [name, time] : {std::pair{"start", run.start_time}, {"end", run.end_time}}) {
      json.key(name);
      json.string_or_null(time ? std::optional(utc_text(*time, true)) : std::nullopt);
    }
    json.key("outcome");
    json.string(run_end_text(run.outcome));
    for (auto [name, count] : {std::pair{"files", run.files},
                               {"bytes", run.bytes},
                               {"stored", run.bytes_stored},
                               {"errors", run.errors}}) {
      json.key(name);
      json.number_or_null(count);
    }
    json.key("has_catalog");
    json.boolean(run.has_catalog);
    json.key("has_log");
    json.boolean(run.has_log);
    json.key("catalog_error");
    json.string_or_null(text_or_null(run.catalog_error));
    json.key("log_error");
    json.string_or_null(text_or_null(run.log_error));
    json.end_object();
  }
  json.end_array();
  json.finish();
}

int runs(const Context& ctx, const std::string& tag, bool as_json, const CtlIo& io) {
  if (!profile_exists(ctx, tag, io)) return kCtlFailed;
  if (as_json) {
    runs_json(list_runs(ctx, tag), io.out);
    return kCtlOk;
  }
  std::fputs("catalog\tstart\tend\toutcome\tfiles\tbytes\tstored\terrors\tnotes\n", io.out);
  for (const RunSummary& run : list_runs(ctx, tag)) {
    std::fprintf(io.out, "%08x\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", run.number,
                 utc_text(run.start_time).c_str(), utc_text(run.end_time).c_str(),
                 run_end_text(run.outcome), count_text(run.files).c_str(),
                 count_text(run.bytes).c_str(), count_text(run.bytes_stored).c_str(),
                 count_text(run.errors).c_str(), notes_of(run).c_str());
  }
  return kCtlOk;
}

// One line of a log without its LF: the CR of the CR LF line end goes, tabs stay, and every other
// control character is escaped.
void print_log_line(std::FILE* out, std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  for (size_t tab; (tab = line.find('\t')) != std::string_view::npos; line.remove_prefix(tab + 1))
    std::fprintf(out, "%s\t", printable(line.substr(0, tab)).c_str());
  std::fputs(printable(line).c_str(), out);
}

int print_log(const Context& ctx, const std::string& tag, std::optional<uint32_t> number,
              const CtlIo& io) {
  if (!profile_exists(ctx, tag, io)) return kCtlFailed;
  if (!number) {
    for (const RunSummary& run : list_runs(ctx, tag))
      if (run.has_log) number = run.number;
    if (!number) {
      std::fprintf(io.err, "corvioctl: profile %s has no run logs\n", tag.c_str());
      return kCtlFailed;
    }
  }
  std::unique_ptr<ReadableFile> file = ctx.fs.open_read(run_log_path(ctx, tag, *number));
  if (!file) {
    std::fprintf(io.err, "corvioctl: profile %s has no log of run %08x\n", tag.c_str(), *number);
    return kCtlFailed;
  }
  // Line by line, so that a character cut by a read's end is escaped whole or not at all.
  std::string line;
  char chunk[65536];
  int64_t n;
  while ((n = file->read(chunk, sizeof chunk)) > 0) {
    line.append(chunk, static_cast<size_t>(n));
    size_t start = 0;
    for (size_t eol; (eol = line.find('\n', start)) != std::string::npos; start = eol + 1) {
      print_log_line(io.out, std::string_view(line).substr(start, eol - start));
      std::fputc('\n', io.out);
    }
    line.erase(0, start);
  }
  print_log_line(io.out, line);
  if (n < 0) {
    std::fprintf(io.err, "corvioctl: the log of run %08x could not be read to its end\n", *number);
    return kCtlFailed;
  }
  return kCtlOk;
}

}  // namespace

bool is_run_command(const std::string& command) { return command == "runs" || command == "log"; }

int run_command(const Context& ctx, const std::string& command,
                const std::vector<std::string>& args, const CtlIo& io) {
  const bool log = command == "log";
  const char* usage = log ? kLogUsage : kRunsUsage;
  // Operands: TAG, and for log an optional N; "--" may come first.
  std::vector<std::string> operands = args;
  const bool as_json = !log && take_flag(operands, 0, "--json");
  if (operands.size() == 1 && is_help(operands[0])) {
    std::fputs(usage, io.out);
    return kCtlOk;
  }
  if (!operands.empty() && operands[0] == "--") {
    operands.erase(operands.begin());
  } else if (!operands.empty() && operands[0].starts_with("-")) {
    operands.clear();  // an option neither command has
  }
  if (operands.empty() || operands.size() > (log ? 2u : 1u)) {
    std::fputs(usage, io.err);
    return kCtlUsage;
  }
  std::string tag = operands[0];
  if (tag.size() > kTagChars)
    return usage_error(io, command,
                       "TAG: longer than " + std::to_string(kTagChars) + " characters");
  if (!checked_tag(ctx, tag)) return kCtlFailed;
  if (!log) return runs(ctx, tag, as_json, io);

  std::optional<uint32_t> number;
  if (operands.size() == 2) {
    number = run_number(operands[1]);
    if (!number) return usage_error(io, command, "not a run number (hexadecimal): " + operands[1]);
  }
  return print_log(ctx, tag, number, io);
}

}  // namespace corvio
