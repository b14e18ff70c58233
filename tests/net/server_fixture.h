// SPDX-License-Identifier: Apache-2.0
// A client run against a real reference server: a test world whose data directory trusts the
// server's certificate authority, a profile pointing at the server, a TLS context, the run's
// BackupSession and a Connection with short time-outs that passes the run's pause point.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/backup_session.h"
#include "net/connection.h"
#include "net/net_settings.h"
#include "net/seg_key.h"
#include "net/tls_context.h"
#include "support/server_process.h"
#include "support/test_world.h"
#include "util/hex.h"

namespace corvio::test {

using Lines = std::vector<std::string>;

bool contains(const Lines& lines, const std::string& line);

// n bytes of a fixed pseudo-random sequence: a block that does not compress.
std::string random_bytes(size_t n, uint32_t seed);
SegKey md5(const std::string& data);

class ServerFixture : public ::testing::Test {
 protected:
  ServerFixture();

  // Creates the store (certificate for cert_host), trusts its CA unless told otherwise, starts
  // the server with the faults and opens a Connection to it. Check with ASSERT_TRUE.
  bool serve(const std::vector<std::string>& faults = {});
  // serve(), then logged in, with the run's profile and catalog numbers. Check with
  // ASSERT_NO_FATAL_FAILURE.
  void open(const std::vector<std::string>& faults = {});

  // The server's trace: one "CONN HEX" line per message it received, once it has settled.
  std::vector<std::string> trace() const;
  // Trace lines of messages beginning with the hex prefix, e.g. "8000" for block queries.
  std::vector<std::string> trace_of(const std::string& prefix) const;
  // Text written to the run log so far.
  std::string log_text();
  bool logged_in() { return session->login() == 0; }

  // Set before serve() to change the set-up.
  std::string cert_host = "localhost";
  std::string login = "anna";
  std::string password = "s3cret";
  bool trust_ca = true;
  NetSettings settings;

  TestWorld world;
  TempDir store_dir;
  std::unique_ptr<ServerProcess> server;
  TlsContext tls;
  BackupSession run;
  std::unique_ptr<Connection> session;

 private:
  std::string trace_file_;
  std::string log_path_;
};

}  // namespace corvio::test
