// SPDX-License-Identifier: Apache-2.0
#include "engine_fixture.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/directories.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "support/sql_rows.h"

namespace corvio::test {

namespace fs_ns = std::filesystem;

namespace {

int64_t real_now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

EngineFixture::EngineFixture(bool windows_style)
    // The fake clock starts ahead of the files the test writes, so they count as settled.
    : clock(real_now() + 60),
      fs(windows_style ? dir.file("drive") : ""),
      ctx{fs,
          clock,
          messages,
          display,
          windows_style ? PathStyle::windows() : PathStyle::posix(),
          windows_style ? dir.file("data") + "/" : dir.file("data"),
          ""} {
  display.attach(&view);
  make_dirs(dir.file("data"));
  fs_ns::create_directories(windows_style ? dir.file("drive") : dir.file("src"));
  settings.session_timeout_ms = 2000;
  profile.tag = "home";
  profile.description = "Home files";
  profile.server = "localhost";
  profile.login = "anna";
  profile.password = "s3cret";
  profile.use_shadow_copy = 0;
  profile.include_rules = {source()};
}

EngineFixture::~EngineFixture() {
  display.detach();
  if (cache) cache->close();
}

std::string EngineFixture::source(const std::string& name) const {
  if (ctx.style.is_windows()) return name.empty() ? "C:\\Data" : "C:\\Data\\" + name;
  return name.empty() ? dir.file("src") : dir.file("src/" + name);
}

bool EngineFixture::serve(const std::vector<std::string>& faults) {
  if (run_server_command({"init", "--store", store(), "--self-signed", "localhost"}, "") != 0 ||
      run_server_command({"add-login", "--store", store(), profile.login},
                         profile.password + "\n") != 0 ||
      run_server_command({"add-profile", "--store", store(), profile.login, profile.tag}, "") !=
          0) {
    ADD_FAILURE() << "cannot set up the server's store";
    return false;
  }
  fs_ns::copy_file(store() + "/ca.pem", ctx.style.join(ctx.data_dir, kTrustedCaFile));
  if (!restart(faults)) return false;
  if (tls.init(ctx) != 0) return false;

  Config config(ctx);
  if (config.open() != 0 || profile_create(ctx, config, profile) != 0) {
    ADD_FAILURE() << "cannot save the profile";
    return false;
  }
  config.close();
  cache = std::make_unique<Md5Cache>(ctx);
  return cache->open() == 0;
}

bool EngineFixture::restart(const std::vector<std::string>& faults) {
  server.reset();
  std::vector<std::string> args = {"--store", store(), "--listen", "127.0.0.1:0"};
  for (const std::string& f : faults) {
    args.push_back("--fault");
    args.push_back(f);
  }
  if (!trace_path.empty()) {
    args.push_back("--trace");
    args.push_back(trace_path);
  }
  server = std::make_unique<ServerProcess>(args);
  if (server->port() == 0) {
    ADD_FAILURE() << "server did not start: " << server->error_output();
    return false;
  }
  profile.port = static_cast<uint16_t>(server->port());
  return true;
}

RunOutcome EngineFixture::run() { return run(false, nullptr, nullptr); }

RunOutcome EngineFixture::run(bool exit_when_done, std::function<bool(std::string*)> update_check,
                              std::function<void()> close_window) {
  session.reset();
  session.profile = std::make_unique<Profile>(profile);
  WorkerSetup setup{ctx,
                    session,
                    *cache,
                    tls,
                    nullptr,
                    exit_when_done,
                    settings,
                    std::move(update_check),
                    std::move(close_window)};
  setup.read_ahead_threads = read_ahead_threads;
  const RunOutcome outcome = backup_worker(setup);
  catalogs.push_back(session.catalog_id);
  return outcome;
}

std::string EngineFixture::log_text(uint32_t catalog_id) {
  if (catalog_id == 0) catalog_id = catalogs.empty() ? 0 : catalogs.back();
  char name[16];
  std::snprintf(name, sizeof name, "%08x.log", catalog_id);
  std::string text = read_file(ctx.style.join(ctx.profile_dir(profile.tag), name));
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

int EngineFixture::restore(uint32_t catalog_id, std::string* to, std::string* err) {
  *to = dir.file("restore-" + std::to_string(catalog_id));
  return run_server_command(
      {"restore", "--store", store(), "--catalog", std::to_string(catalog_id), "--to", *to}, "",
      nullptr, err);
}

void EngineFixture::lose_block(const std::string& md5_hex, uint32_t length) {
  sql_exec(store() + "/store.db",
           "delete from blocks where md5='" + md5_hex + "' and length=" + std::to_string(length));
  fs_ns::remove(store() + "/blocks/" + md5_hex.substr(0, 2) + "/" + md5_hex + "-" +
                std::to_string(length));
}

std::map<std::string, std::string> tree_of(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs_ns::recursive_directory_iterator(root); it != fs_ns::end(it); ++it) {
    const std::string rel = fs_ns::relative(it->path(), root).string();
    if (it->is_symlink()) continue;
    if (it->is_directory()) {
      tree[rel] = "<dir>";
    } else if (it->is_regular_file()) {
      tree[rel] = read_file(it->path().string());
    }
  }
  return tree;
}

std::string tree_difference(const std::map<std::string, std::string>& expected,
                            const std::map<std::string, std::string>& actual) {
  std::string out;
  for (const auto& [name, bytes] : expected) {
    auto it = actual.find(name);
    if (it == actual.end())
      out += "missing: " + name + "\n";
    else if (it->second != bytes)
      out += "differs: " + name + "\n";
  }
  for (const auto& [name, bytes] : actual) {
    if (!expected.count(name)) out += "extra: " + name + "\n";
  }
  return out;
}

std::string pattern(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(x >> 24);
  }
  return bytes;
}

int64_t mtime_of(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

}  // namespace corvio::test
