// SPDX-License-Identifier: Apache-2.0
#include "server_fixture.h"

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "base/profile.h"
#include "engine/pause_point.h"
#include "net/requests.h"

namespace corvio::test {

bool contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string random_bytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

SegKey md5(const std::string& data) {
  SegKey key{};
  EVP_Digest(data.data(), data.size(), key.data(), nullptr, EVP_md5(), nullptr);
  return key;
}

ServerFixture::ServerFixture() {
  settings.session_timeout_ms = 3000;
  world.attach_view();
  run.profile = std::make_unique<Profile>();
  run.profile->tag = "home";
  run.profile->server = "localhost";
  trace_file_ = store_dir.file("trace.txt");
  log_path_ = world.dir.file("run.log");
  run.log.reset(std::fopen(log_path_.c_str(), "wb"));
}

bool ServerFixture::serve(const std::vector<std::string>& faults) {
  const std::string store = store_dir.file("store");
  if (run_server_command({"init", "--store", store, "--self-signed", cert_host}, "") != 0 ||
      run_server_command({"add-login", "--store", store, login}, password + "\n") != 0 ||
      run_server_command({"add-profile", "--store", store, login, run.profile->tag}, "") != 0) {
    ADD_FAILURE() << "cannot set up the server's store";
    return false;
  }
  if (trust_ca) {
    std::filesystem::copy_file(store + "/ca.pem", world.dir.file(kTrustedCaFile));
  }
  std::vector<std::string> args = {"--store",     store,     "--listen",
                                   "127.0.0.1:0", "--trace", trace_file_};
  for (const std::string& f : faults) {
    args.push_back("--fault");
    args.push_back(f);
  }
  server = std::make_unique<ServerProcess>(args);
  if (server->port() == 0) {
    ADD_FAILURE() << "server did not start: " << server->error_output();
    return false;
  }
  run.profile->port = static_cast<uint16_t>(server->port());
  run.profile->login = login;
  run.profile->password = password;
  if (tls.init(world.ctx) != 0) return false;
  session = std::make_unique<Connection>(world.ctx, world.display, tls, run, settings);
  session->set_pause_point([this] { wait_if_paused(world.ctx, run, *session); });
  return true;
}

void ServerFixture::open(const std::vector<std::string>& faults) {
  ASSERT_TRUE(serve(faults));
  ASSERT_EQ(session->login(), 0);
  ASSERT_EQ(request_profile_id(*session), 0);
  ASSERT_EQ(request_catalog_id(*session), 0);
}

std::vector<std::string> ServerFixture::trace() const {
  // The server records each message as it arrives, on its own threads: wait until the file
  // has stopped growing.
  std::string seen = read_file(trace_file_);
  for (int quiet_polls = 0, polls = 0; quiet_polls < 10 && polls < 300; ++polls) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string now = read_file(trace_file_);
    quiet_polls = now == seen ? quiet_polls + 1 : 0;
    seen = now;
  }
  std::vector<std::string> lines;
  std::istringstream in(seen);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ServerFixture::trace_of(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& line : trace()) {
    size_t space = line.find(' ');
    if (line.compare(space + 1, prefix.size(), prefix) == 0) out.push_back(line);
  }
  return out;
}

std::string ServerFixture::log_text() {
  std::fflush(run.log.get());
  return read_file(log_path_);
}

}  // namespace corvio::test
