// SPDX-License-Identifier: Apache-2.0
#include "admin_commands.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

#include "catalog_path.h"
#include "restore.h"
#include "run_index.h"
#include "store.h"
#include "verify.h"

namespace corvio::server {
namespace {

using Options = std::multimap<std::string, std::string>;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int usage_error(const std::string& text, std::string* usage) {
  *usage = text;
  return kExitUsage;
}

// One line on standard error. Catalog paths are the client's and may hold any byte; control
// characters are shown as \xHH so that every problem stays one line.
void print_problem(const std::string& text) {
  std::string line = "corvio-server: ";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      line += escaped;
    } else {
      line += static_cast<char>(c);
    }
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

int failed(const std::string& text) {
  print_problem(text);
  return kExitFailed;
}

std::optional<std::string> option(const Options& options, const std::string& name) {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

std::string utc_time(uint32_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  char text[32] = "?";
  if (const std::tm* tm = std::gmtime(&t))
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", tm);
  return text;
}

// The store and its index, both needed by every command here.
struct OpenStore {
  std::unique_ptr<Store> store;
  std::unique_ptr<RunIndex> index;
};

bool open_store(const Options& options, OpenStore* out, std::string* error) {
  std::string dir = option(options, "store").value_or("");
  out->store = Store::open(dir, error);
  if (!out->store) return false;
  out->index = RunIndex::open(dir, error);
  return out->index != nullptr;
}

int cmd_restore(const Options& options, std::string* usage) {
  std::optional<std::string> catalog = option(options, "catalog");
  std::optional<std::string> to = option(options, "to");
  if (!catalog) return usage_error("restore needs --catalog N", usage);
  if (!to || to->empty()) return usage_error("restore needs --to DIR", usage);
  RestoreRequest request;
  std::optional<uint32_t> id = parse_catalog_number(*catalog);
  if (!id) return usage_error("--catalog takes a catalog number, not " + *catalog, usage);
  request.catalog_id = *id;
  request.to = *to;
  request.path = option(options, "path");
  if (request.path) {
    CatalogPath prefix = parse_catalog_path(*request.path);
    if (!prefix.unsafe.empty()) {
      return usage_error("--path " + *request.path + ": the path " + prefix.unsafe, usage);
    }
  }
  OpenStore s;
  std::string error;
  if (!open_store(options, &s, &error)) return failed(error);
  RestoreResult result = restore_run(*s.store, *s.index, request, print_problem);
  if (result.failed) return kExitFailed;
  std::printf(
      "restored catalog %u to %s: %llu directories, %llu files, %llu bytes, %llu problems\n",
      request.catalog_id, request.to.c_str(), static_cast<unsigned long long>(result.directories),
      static_cast<unsigned long long>(result.files), static_cast<unsigned long long>(result.bytes),
      static_cast<unsigned long long>(result.problems));
  return result.problems == 0 ? kExitOk : kExitFailed;
}

int cmd_verify(const Options& options, std::string* usage) {
  std::optional<uint32_t> id;
  if (std::optional<std::string> catalog = option(options, "catalog")) {
    id = parse_catalog_number(*catalog);
    if (!id) return usage_error("--catalog takes a catalog number, not " + *catalog, usage);
  }
  OpenStore s;
  std::string error;
  if (!open_store(options, &s, &error)) return failed(error);
  VerifyResult result = verify_store(*s.store, *s.index, id, print_problem);
  std::printf("verified %llu catalogs, %llu files, %llu blocks: %llu problems",
              static_cast<unsigned long long>(result.catalogs),
              static_cast<unsigned long long>(result.files),
              static_cast<unsigned long long>(result.blocks),
              static_cast<unsigned long long>(result.problems));
  if (result.unfinished > 0) {
    std::printf(" (%llu unfinished catalogs not checked)",
                static_cast<unsigned long long>(result.unfinished));
  }
  std::printf("\n");
  return result.problems == 0 ? kExitOk : kExitFailed;
}

int cmd_catalogs(const Options& options) {
  OpenStore s;
  std::string error;
  if (!open_store(options, &s, &error)) return failed(error);
  std::vector<StoredCatalog> catalogs;
  if (!s.index->list(option(options, "login"), &catalogs, &error)) return failed(error);
  for (const StoredCatalog& c : catalogs) {
    std::printf("%u %s %s", c.id, c.login.c_str(), c.tag.c_str());
    if (!c.run) {
      std::printf(" unfinished\n");
      continue;
    }
    const RunRecord& r = *c.run;
    std::printf(
        " %s files=%u directories=%u bytes_total=%llu bytes_stored=%llu"
        " bytes_compressed=%llu",
        utc_time(r.time).c_str(), r.files, r.directories,
        static_cast<unsigned long long>(r.bytes_total),
        static_cast<unsigned long long>(r.bytes_stored),
        static_cast<unsigned long long>(r.bytes_compressed));
    if (c.missing_blocks > 0) {
      std::printf(" damaged: %lld blocks missing (corvio-server verify --catalog %u names the files)",
                  static_cast<long long>(c.missing_blocks), c.id);
    }
    std::printf("\n");
  }
  return kExitOk;
}

}  // namespace

bool is_admin_command(std::string_view command) {
  return command == "restore" || command == "verify" || command == "catalogs";
}

std::vector<std::string> admin_command_options(std::string_view command) {
  if (command == "restore") return {"store", "catalog", "to", "path"};
  if (command == "verify") return {"store", "catalog"};
  if (command == "catalogs") return {"store", "login"};
  return {};
}

int run_admin_command(std::string_view command, const Options& options,
                      const std::vector<std::string>& positional, std::string* usage) {
  if (!positional.empty()) {
    return usage_error(std::string(command) + " takes no arguments", usage);
  }
  for (auto it = options.begin(); it != options.end(); it = options.upper_bound(it->first)) {
    if (options.count(it->first) > 1) return usage_error("--" + it->first + " given twice", usage);
  }
  if (command == "restore") return cmd_restore(options, usage);
  if (command == "verify") return cmd_verify(options, usage);
  if (command == "catalogs") return cmd_catalogs(options);
  return usage_error("unknown command " + std::string(command), usage);
}

}  // namespace corvio::server
