// SPDX-License-Identifier: Apache-2.0
// End-to-end tests: the corvio-server program, started as a process, spoken to over loopback
// TLS by a raw test client.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "db/database.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "test_client.h"
#include "util/hex.h"
#include "util/md5_hex.h"

namespace corvio::server::test {

using corvio::test::run_server_command;
using corvio::test::ServerProcess;
namespace {

namespace fs = std::filesystem;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

fs::perms perms_of(const std::string& path) { return fs::status(path).permissions(); }

// The most memory the process has held, from /proc, in bytes; 0 when unknown.
uint64_t peak_memory(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  return 0;
}

bool has_line_starting(const std::string& log, const std::string& prefix) {
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Bytes that zlib cannot shrink.
std::string noise(size_t n, uint32_t seed) {
  std::string out(n, '\0');
  for (char& c : out) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 23);
  }
  return out;
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = dir.file("store");
    trace = dir.file("trace");
    ASSERT_EQ(run_server_command({"init", "--store", store, "--self-signed", "127.0.0.1"}, ""), 0);
    ASSERT_EQ(run_server_command({"add-login", "--store", store, "alice"}, "secret\n"), 0);
    ASSERT_EQ(run_server_command({"add-profile", "--store", store, "alice", "home"}, ""), 0);
  }

  void start(std::vector<std::string> faults = {}, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"--store", store, "--listen", "127.0.0.1:0", "--trace", trace};
    for (const std::string& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
    args.insert(args.end(), options.begin(), options.end());
    server = std::make_unique<ServerProcess>(args);
    ASSERT_NE(server->port(), 0) << server->listening_line() << server->error_output();
  }

  std::unique_ptr<TestClient> connect() {
    auto client = std::make_unique<TestClient>(server->port(), store + "/ca.pem");
    EXPECT_TRUE(client->ok()) << client->error();
    return client;
  }

  // A client logged in as alice.
  std::unique_ptr<TestClient> alice() {
    std::unique_ptr<TestClient> client = connect();
    EXPECT_EQ(client->greet_and_login("alice", "secret"), 0);
    return client;
  }

  std::string exchange(TestClient& client, const std::string& message, int timeout_s = 5) {
    EXPECT_TRUE(client.send(message));
    return client.recv(timeout_s).value_or("<no reply>");
  }

  uint32_t new_catalog(TestClient& client) {
    std::string reply = exchange(client, catalog_alloc(1));
    EXPECT_EQ(reply.substr(0, 3), std::string("\x02\x22\x00", 3));
    return u32_at(reply, 3);
  }

  // Stores block through the whole exchange, sending the payload in chunks of 4096 bytes;
  // returns the reply read after the last chunk.
  std::string store_block(TestClient& client, const std::string& block, bool compress) {
    std::string payload = compress ? zlib_compress(block) : block;
    std::string reply =
        exchange(client, seg_store(md5(block), static_cast<uint32_t>(block.size()), compress,
                                   static_cast<uint32_t>(payload.size())));
    EXPECT_EQ(reply.size(), 7u);
    if (reply.size() < 7 || reply[6] != 0) return reply;
    for (size_t at = 0; at < payload.size(); at += 4096) {
      EXPECT_TRUE(client.send(seg_data(std::string_view(payload).substr(at, 4096))));
    }
    return client.recv().value_or("<no reply>");
  }

  bool held(TestClient& client, const std::string& block) {
    std::string reply =
        exchange(client, seg_query(md5(block), static_cast<uint32_t>(block.size())));
    EXPECT_EQ(reply.substr(0, 2), "\x80\x01");
    return reply.size() >= 3 && static_cast<uint8_t>(reply[2]) == 0xFF;
  }

  std::string block_file(const std::string& block) {
    std::string hex = md5_to_hex(md5(block));
    return store + "/blocks/" + hex.substr(0, 2) + "/" + hex + "-" + std::to_string(block.size());
  }

  corvio::test::TempDir dir;
  std::string store;
  std::string trace;
  std::unique_ptr<ServerProcess> server;
};

const std::string kLoggedIn("\x00\x09\x00", 3);

// One login attempt per connection: a refused login is answered, then the connection is
// closed, so a second login sent along with the first is never looked at.
TEST_F(ServerTest, GreetsAndAnswersOneLoginPerConnection) {
  start();
  std::unique_ptr<TestClient> client = connect();
  std::string hello = client->recv().value_or("");
  ASSERT_EQ(hello.size(), 10u);
  EXPECT_EQ(hello.substr(0, 2), std::string("\x00\x00", 2));
  EXPECT_TRUE(client->send(login_message("alice", "wrong") + login_message("alice", "secret")));
  EXPECT_EQ(client->recv(), std::string("\x00\x09\xff", 3));
  EXPECT_EQ(client->recv(), std::string());

  client = connect();
  client->recv();
  EXPECT_EQ(exchange(*client, login_message("nobody", "secret")), std::string("\x00\x09\xff", 3));
  EXPECT_EQ(client->recv(), std::string());

  // Nothing but a login is answered before a login succeeds: the connection is closed.
  client = connect();
  client->recv();
  EXPECT_TRUE(client->send(profile_get("home")));
  EXPECT_EQ(client->recv(), std::string());

  client = connect();
  client->recv();
  EXPECT_EQ(exchange(*client, login_message("alice", "secret"), 10), kLoggedIn);
  EXPECT_EQ(exchange(*client, profile_get("home")).substr(0, 2), "\x01\x10");
  // A logged-in connection gets no second try either.
  EXPECT_TRUE(client->send(login_message("bob", "pw")));
  EXPECT_EQ(client->recv(), std::string());
  server->terminate();
  std::string log = server->error_output();
  EXPECT_NE(log.find(": login \"alice\" not accepted, status 255; 1 messages"), std::string::npos)
      << log;
  EXPECT_NE(log.find(": login \"nobody\" not accepted, status 255"), std::string::npos) << log;
  EXPECT_NE(log.find(": second login on one connection"), std::string::npos) << log;
}

// Each failure for a login or from an address makes the next attempt wait twice as long:
// 0.2 s after one, 0.4 s after two, and so on. An unknown login counts like a known one.
TEST_F(ServerTest, RepeatedLoginFailuresWaitLongerAndLonger) {
  start();
  auto attempt = [&](const std::string& login, const std::string& password, int* status) {
    std::unique_ptr<TestClient> client = connect();
    client->recv();
    auto begun = std::chrono::steady_clock::now();
    std::string reply = exchange(*client, login_message(login, password), 30);
    *status = reply.size() == 3 ? static_cast<uint8_t>(reply[2]) : -1;
    return seconds_since(begun);
  };
  int status = 0;
  double first = attempt("alice", "wrong1", &status);
  EXPECT_EQ(status, 0xFF);
  double second = attempt("alice", "wrong2", &status);
  EXPECT_EQ(status, 0xFF);
  double third = attempt("alice", "wrong3", &status);
  EXPECT_EQ(status, 0xFF);
  // Another login from the same address: the address has three failures behind it.
  double other = attempt("mallory", "guess", &status);
  EXPECT_EQ(status, 0xFF);
  // The right password still logs in, after the wait for the address's four failures.
  double right = attempt("alice", "secret", &status);
  EXPECT_EQ(status, 0x00);
  EXPECT_GE(second, 0.2);
  EXPECT_GE(third, 0.4);
  EXPECT_GE(other, 0.8);
  EXPECT_GE(right, 1.6);
  EXPECT_GT(third, first + 0.3);
}

TEST_F(ServerTest, LoginOfThirtyTwoCharactersFillsItsField) {
  std::string long_login(32, 'x');
  ASSERT_EQ(run_server_command({"add-login", "--store", store, long_login}, "pw\n"), 0);
  std::string err;
  EXPECT_EQ(
      run_server_command({"add-login", "--store", store, long_login + "y"}, "pw\n", nullptr, &err),
      1);
  EXPECT_NE(err.find("1 to 32 characters"), std::string::npos) << err;
  start();
  EXPECT_EQ(connect()->greet_and_login(long_login, "pw"), 0);
  // The password is kept hashed, never as it was typed.
  EXPECT_EQ(corvio::test::read_file(store + "/store.db").find("secret"), std::string::npos);
}

TEST_F(ServerTest, AnswersProfilesOnlyForTheLoginThatOwnsThem) {
  ASSERT_EQ(run_server_command({"add-login", "--store", store, "bob"}, "pw\n"), 0);
  ASSERT_EQ(run_server_command({"add-profile", "--store", store, "bob", "work"}, ""), 0);
  start();
  std::unique_ptr<TestClient> client = alice();
  std::string found = exchange(*client, profile_get("home"));
  ASSERT_GE(found.size(), 138u);
  EXPECT_EQ(found.substr(0, 2), "\x01\x10");
  EXPECT_EQ(u32_at(found, 2), 1u);
  EXPECT_EQ(exchange(*client, profile_get("work")), "\x01\x11");
  EXPECT_EQ(exchange(*client, profile_get("nothing")), "\x01\x11");
  // bob's profile number is not alice's to use.
  std::string refused = exchange(*client, catalog_alloc(2));
  ASSERT_EQ(refused.size(), 7u);
  EXPECT_NE(refused[2], 0);
}

TEST_F(ServerTest, CatalogNumbersIncreaseOverConnections) {
  start();
  std::unique_ptr<TestClient> first = alice();
  uint32_t a = new_catalog(*first);
  uint32_t b = new_catalog(*first);
  uint32_t c = new_catalog(*alice());
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
}

TEST_F(ServerTest, StoresRawAndCompressedBlocksAndRecordsTheRun) {
  start();
  std::unique_ptr<TestClient> client = alice();
  uint32_t catalog = new_catalog(*client);
  std::string raw = noise(10000, 1);
  std::string packed(300000, 'z');
  packed += "tail";

  EXPECT_FALSE(held(*client, raw));
  EXPECT_EQ(store_block(*client, raw, false).substr(0, 2), "\x80\x13");
  EXPECT_EQ(exchange(*client, seg_ref(md5(raw), catalog)), std::string("\x80\x1f\x00", 3));
  EXPECT_EQ(store_block(*client, packed, true).substr(0, 2), "\x80\x13");
  EXPECT_EQ(exchange(*client, seg_ref(md5(packed), catalog)), std::string("\x80\x1f\x00", 3));

  // Both are now held, with the bytes of the block itself, from any connection.
  std::unique_ptr<TestClient> other = alice();
  EXPECT_TRUE(held(*other, raw));
  EXPECT_TRUE(held(*other, packed));
  EXPECT_FALSE(held(*other, raw.substr(1)));
  EXPECT_EQ(corvio::test::read_file(block_file(raw)), raw);
  EXPECT_EQ(corvio::test::read_file(block_file(packed)), packed);
  // Everything in the store is its owner's alone.
  const fs::perms file = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(perms_of(store), fs::perms::owner_all);
  EXPECT_EQ(perms_of(store + "/blocks"), fs::perms::owner_all);
  EXPECT_EQ(perms_of(fs::path(block_file(raw)).parent_path()), fs::perms::owner_all);
  EXPECT_EQ(perms_of(block_file(raw)), file);
  EXPECT_EQ(perms_of(store + "/store.db"), file);
  EXPECT_EQ(perms_of(store + "/store.db-wal"), file);
  EXPECT_EQ(perms_of(store + "/server.key"), file);
  EXPECT_EQ(perms_of(store + "/ca.pem"), file);
  // A second store of a held block is answered "held" (0xFF) without a payload.
  std::string again = exchange(*other, seg_store(md5(raw), 10000, false, 10000));
  ASSERT_EQ(again.size(), 7u);
  EXPECT_EQ(static_cast<uint8_t>(again[6]), 0xFF);
  // A reference to a block the server lacks is not recorded.
  std::string missing = exchange(*other, seg_ref(md5("never stored"), catalog));
  ASSERT_EQ(missing.size(), 3u);
  EXPECT_NE(missing[2], 0);

  // An end-of-run record naming a block that is not a catalog is refused, and said why.
  EXPECT_EQ(exchange(*other, catalog_finish(catalog, md5(raw), 10000, 7)),
            std::string("\x02\x24\x01", 3));
  const std::string run_catalog = catalog_with("");
  EXPECT_EQ(store_block(*other, run_catalog, false).substr(0, 2), "\x80\x13");
  EXPECT_EQ(exchange(*other, catalog_finish(catalog, md5(run_catalog), run_catalog.size(), 7)),
            std::string("\x02\x24\x00", 3));
  EXPECT_TRUE(other->send(quit_message()));
  EXPECT_EQ(other->recv(), std::string());
  EXPECT_NE(
      server->error_output().find(": end of run refused: \"catalog " + std::to_string(catalog) +
                                  ": catalog block (" + md5_to_hex(md5(raw)) +
                                  ", 10000 bytes): not a readable catalog: file is not a "
                                  "database\"\n"),
      std::string::npos)
      << server->error_output();

  // The payload went as 4096 + 4096 + 1808, as the trace shows.
  std::string traced = corvio::test::read_file(trace);
  EXPECT_NE(traced.find("1 8012 +4096\n1 8012 +4096\n1 8012 +1808\n"), std::string::npos) << traced;
  EXPECT_NE(traced.find("2 000f\n"), std::string::npos) << traced;

  db::Database db;
  ASSERT_EQ(db.open(store + "/store.db"), SQLITE_OK);
  db::Statement run =
      db.prepare("select catalog_size, files, catalog_md5 from runs where catalog_id=?");
  ASSERT_EQ(run.bind_int64(1, catalog), SQLITE_OK);
  ASSERT_EQ(run.step(), SQLITE_ROW);
  EXPECT_EQ(run.column_int64(0), static_cast<int64_t>(run_catalog.size()));
  EXPECT_EQ(run.column_int64(1), 7);
  EXPECT_EQ(run.column_text(2), md5_to_hex(md5(run_catalog)));
  db::Statement refs = db.prepare("select count(*) from refs where catalog_id=?");
  ASSERT_EQ(refs.bind_int64(1, catalog), SQLITE_OK);
  ASSERT_EQ(refs.step(), SQLITE_ROW);
  EXPECT_EQ(refs.column_int64(0), 2);
}

// A client keeping a window of requests in flight writes them back to back, each its own TLS
// record, often many in one socket write; the server answers every one, in order, without
// waiting for the socket to become readable again while it already holds the next records.
// A block's data follows only after the store reply that asks for it, in a later window, and
// the data of two stores come in the order of the stores.
TEST_F(ServerTest, WindowOfRequestsInOneWriteIsAnsweredInOrder) {
  start();
  std::unique_ptr<TestClient> client = alice();
  uint32_t catalog = new_catalog(*client);
  const std::string held_block = noise(3000, 5);
  ASSERT_EQ(store_block(*client, held_block, false).substr(0, 2), "\x80\x13");
  const std::string fresh = noise(200000, 6) + std::string(400000, 'f');
  const std::string payload = zlib_compress(fresh);
  ASSERT_GT(payload.size(), 4096u * 40);
  const std::string raw = noise(9000, 7);
  const std::string absent = "never stored";
  const std::string kHeld("\x80\x01\xff", 3), kNotHeld("\x80\x01\x00", 3);
  const std::string kRefOk("\x80\x1f\x00", 3), kRefNoBlock("\x80\x1f\x01", 3);
  const std::string kSend("\x80\x11\x00\x00\x00\x00\x00", 7);

  // Window 1: queries and references of a held and an absent block, with the store requests of
  // two new blocks in the middle.
  constexpr size_t kWindow = 200;
  std::vector<std::string> requests, expected;
  for (size_t i = 0; i < kWindow; ++i) {
    if (i == kWindow / 2) {
      requests.push_back(seg_store(md5(fresh), static_cast<uint32_t>(fresh.size()), true,
                                   static_cast<uint32_t>(payload.size())));
      expected.push_back(kSend);
      continue;
    }
    if (i == kWindow / 2 + 2) {
      requests.push_back(seg_store(md5(raw), 9000, false, 9000));
      expected.push_back(kSend);
      continue;
    }
    const std::string& block = i % 2 ? held_block : absent;
    bool query = i % 4 < 2;
    requests.push_back(query ? seg_query(md5(block), static_cast<uint32_t>(block.size()))
                             : seg_ref(md5(block), catalog));
    expected.push_back(query ? (i % 2 ? kHeld : kNotHeld) : (i % 2 ? kRefOk : kRefNoBlock));
  }
  // Window 2: the new blocks' data, then queries and references that find them held.
  std::vector<std::string> second;
  for (const std::string* data : {&payload, &raw}) {
    for (size_t at = 0; at < data->size(); at += 4096) {
      second.push_back(seg_data(std::string_view(*data).substr(at, 4096)));
    }
  }
  const std::string kStored("\x80\x13\x00", 3);
  std::vector<std::string> second_expected = {kStored, kStored};
  for (size_t i = 0; i < kWindow / 2; ++i) {
    const std::string& block = i % 4 < 2 ? fresh : raw;
    bool query = i % 2 == 0;
    second.push_back(query ? seg_query(md5(block), static_cast<uint32_t>(block.size()))
                           : seg_ref(md5(block), catalog));
    second_expected.push_back(query ? kHeld : kRefOk);
  }

  for (auto [window, replies] : {std::pair{&requests, &expected}, {&second, &second_expected}}) {
    ASSERT_TRUE(client->send_at_once(*window));
    for (size_t i = 0; i < replies->size(); ++i) {
      ASSERT_EQ(client->recv(10).value_or("<no reply>"), (*replies)[i]) << "reply " << i;
    }
  }
  EXPECT_EQ(corvio::test::read_file(block_file(fresh)), fresh);
  EXPECT_EQ(corvio::test::read_file(block_file(raw)), raw);
  EXPECT_TRUE(client->send(quit_message()));
  EXPECT_EQ(client->recv(), std::string());
  EXPECT_EQ(server->terminate(), 0);  // the session's line is written by then
  // Every message counted: the login, the catalog, the first store and its one chunk, the two
  // windows and the quit; the references recorded: one in four of window 1, half of window 2.
  size_t messages = 1 + 1 + 2 + requests.size() + second.size() + 1;
  EXPECT_NE(server->error_output().find(
                ": quit; " + std::to_string(messages) + " messages, 3 blocks stored, " +
                std::to_string(kWindow / 4 + kWindow / 4) + " references\n"),
            std::string::npos)
      << server->error_output();
}

TEST_F(ServerTest, CorruptPayloadIsNeitherKeptNorAcknowledged) {
  start();
  std::string block = noise(5000, 2);
  std::string damaged = block;
  damaged[100] ^= 1;
  {
    // The right length but other bytes: the digest does not match the key.
    std::unique_ptr<TestClient> client = alice();
    ASSERT_EQ(exchange(*client, seg_store(md5(block), 5000, false, 5000))[6], 0);
    EXPECT_TRUE(client->send(seg_data(damaged.substr(0, 4096))));
    EXPECT_TRUE(client->send(seg_data(damaged.substr(4096))));
    EXPECT_EQ(client->recv(), std::string());
  }
  {
    // A compressed payload that is not zlib data.
    std::unique_ptr<TestClient> client = alice();
    ASSERT_EQ(exchange(*client, seg_store(md5(block), 5000, true, 100))[6], 0);
    EXPECT_TRUE(client->send(seg_data(noise(100, 3))));
    EXPECT_EQ(client->recv(), std::string());
  }
  std::unique_ptr<TestClient> client = alice();
  EXPECT_FALSE(held(*client, block));
  EXPECT_FALSE(std::filesystem::exists(block_file(block)));
  // The retry with the right bytes is kept.
  EXPECT_EQ(store_block(*client, block, false).substr(0, 2), "\x80\x13");
  EXPECT_TRUE(held(*client, block));
}

TEST_F(ServerTest, LoginAndGreetingFaults) {
  start({"login=fe:1", "greeting=short:1", "split=login:1"});
  std::unique_ptr<TestClient> client = connect();
  EXPECT_EQ(client->recv()->size(), 9u);
  EXPECT_TRUE(client->send(login_message("alice", "secret")));
  // Split: the first read gets one byte alone, the rest comes after it.
  EXPECT_EQ(client->recv(), std::string("\x00", 1));
  EXPECT_EQ(client->recv(), std::string("\x09\xfe", 2));
  // Every fault was used up: the next connection is served normally.
  client = connect();
  EXPECT_EQ(client->recv()->size(), 10u);
  EXPECT_EQ(exchange(*client, login_message("alice", "secret")), kLoggedIn);
}

TEST_F(ServerTest, BadGreetingCodeAndOtherLoginStatus) {
  start({"greeting=badcode", "login=01"});
  std::unique_ptr<TestClient> client = connect();
  std::string hello = client->recv().value_or("");
  ASSERT_EQ(hello.size(), 10u);
  EXPECT_NE(hello[1], 0);
  EXPECT_EQ(exchange(*client, login_message("alice", "secret")), std::string("\x00\x09\x01", 3));
  // Status 0x01 still counts as logged in.
  EXPECT_EQ(exchange(*client, profile_get("home")).substr(0, 2), "\x01\x10");
}

TEST_F(ServerTest, CatalogRefusalAndTrailingBytes) {
  start({"catalog-refuse=2", "trailing=query:1"});
  std::unique_ptr<TestClient> client = alice();
  for (int i = 0; i < 2; ++i) {
    std::string refused = exchange(*client, catalog_alloc(1));
    ASSERT_EQ(refused.size(), 7u);
    EXPECT_NE(refused[2], 0);
  }
  new_catalog(*client);
  EXPECT_EQ(exchange(*client, seg_query(md5("x"), 1)).size(), 3u + 7u);
  EXPECT_EQ(exchange(*client, seg_query(md5("x"), 1)).size(), 3u);
}

TEST_F(ServerTest, DropClosesAfterTheChosenMessageAndTraceShowsTheRetry) {
  start({"drop=2:1"});
  std::unique_ptr<TestClient> client = alice();
  EXPECT_TRUE(client->send(profile_get("home")));
  EXPECT_EQ(client->recv(), std::string());
  client = alice();
  EXPECT_EQ(exchange(*client, profile_get("home")).substr(0, 2), "\x01\x10");
  std::string traced = corvio::test::read_file(trace);
  EXPECT_NE(traced.find("1 0102686f6d6500\n"), std::string::npos) << traced;
  EXPECT_NE(traced.find("2 0102686f6d6500\n"), std::string::npos) << traced;
}

TEST_F(ServerTest, SilentProfileAndUnknownProfile) {
  start({"silent=profile:1", "profile-unknown"});
  std::unique_ptr<TestClient> client = alice();
  EXPECT_TRUE(client->send(profile_get("home")));
  EXPECT_EQ(client->recv(1), std::nullopt);
  // The connection stays open; the next request is answered, here by the unknown-profile fault.
  EXPECT_EQ(exchange(*client, profile_get("home")), "\x01\x11");
}

TEST_F(ServerTest, StoreStatusFault) {
  start({"store-status=07:1", "split=stored:1"});
  std::unique_ptr<TestClient> client = alice();
  std::string block = noise(3000, 4);
  std::string reply = exchange(*client, seg_store(md5(block), 3000, false, 3000));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[6], 0x07);
  EXPECT_EQ(store_block(*client, block, false), "\x80");
  EXPECT_EQ(client->recv(), std::string("\x13\x00", 2));
}

TEST_F(ServerTest, CommandLineErrorsAreReportedBeforeServing) {
  std::string out;
  std::string err;
  EXPECT_EQ(run_server_command({"serve", "--store", store, "--listen", "127.0.0.1:0", "--fault",
                                "split=nothing:1"},
                               "", &out, &err),
            2);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("split=nothing:1"), std::string::npos) << err;
  EXPECT_EQ(run_server_command({"serve", "--store", store, "--listen", "127.0.0.1:0", "--cert",
                                store + "/server.pem"},
                               "", &out, &err),
            2);
  EXPECT_EQ(run_server_command({"frobnicate"}, "", &out, &err), 2);
  EXPECT_EQ(
      run_server_command({"add-login", "--store", dir.file("nowhere"), "x"}, "pw\n", &out, &err),
      1);
  EXPECT_NE(err.find("is not a store"), std::string::npos) << err;
  // A store made without certificates cannot serve until it is given some, and says how.
  std::string bare = dir.file("bare");
  ASSERT_EQ(run_server_command({"init", "--store", bare}, ""), 0);
  EXPECT_EQ(
      run_server_command({"serve", "--store", bare, "--listen", "127.0.0.1:0"}, "", &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("has no server certificate"), std::string::npos) << err;
  EXPECT_NE(err.find("run corvio-server init --store " + bare + " --self-signed HOST"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("or give --cert FILE --key FILE"), std::string::npos) << err;

  // Listen addresses: a port above 65535 is refused, not wrapped; malformed ones are named.
  auto serve_error = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"serve", "--store", store};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(run_server_command(args, "", &out, &err), 2) << err;
    EXPECT_EQ(out, "");
    return err;
  };
  EXPECT_NE(serve_error({"--listen", "127.0.0.1:99999"})
                .find("--listen 127.0.0.1:99999: the port 99999 is above 65535"),
            std::string::npos);
  EXPECT_NE(serve_error({"--listen", "127.0.0.1"}).find("no port"), std::string::npos);
  EXPECT_NE(serve_error({"--listen", "127.0.0.1:ssh"}).find("the port ssh is not a number"),
            std::string::npos);
  EXPECT_NE(serve_error({"--listen", "::1:80"}).find("brackets"), std::string::npos);
  EXPECT_NE(serve_error({}).find("--listen ADDR:PORT is required"), std::string::npos);
  std::string listen = "127.0.0.1:0";
  EXPECT_NE(serve_error({"--listen", listen, "--max-connections", "0"}).find("--max-connections"),
            std::string::npos);
  EXPECT_NE(serve_error({"--listen", listen, "--login-timeout", "soon"}).find("--login-timeout"),
            std::string::npos);
  EXPECT_NE(serve_error({"--listen", listen, "--max-catalog", "2G"})
                .find("--max-catalog: 2G is not from 1048576 to 2147483647 bytes"),
            std::string::npos);
  EXPECT_NE(
      serve_error({"--listen", listen, "--frob", "1"}).find("unknown option --frob for serve"),
      std::string::npos);

  // init on an existing store changes nothing and says what it kept.
  EXPECT_EQ(
      run_server_command({"init", "--store", store, "--self-signed", "10.0.0.1"}, "", &out, &err),
      0)
      << err;
  EXPECT_NE(out.find(store + " is a store already; kept its index (1 login, 1 profile, "
                             "0 catalogs, 0 blocks) and its block files, and ca.pem, server.pem "
                             "and server.key"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("kept " + store + "/ca.pem"), std::string::npos) << out;
  EXPECT_NE(out.find("no certificate was made for 10.0.0.1"), std::string::npos) << out;

  // Help: the program's lists the commands and the limits; each command has its own.
  EXPECT_EQ(run_server_command({"--help"}, "", &out, &err), 0);
  EXPECT_NE(out.find("corvio-server serve --store DIR --listen ADDR:PORT"), std::string::npos);
  EXPECT_NE(out.find("a LOGIN and a password are 1 to 32 characters, a profile TAG 1 to 31"),
            std::string::npos)
      << out;
  EXPECT_EQ(run_server_command({"serve", "--help"}, "", &out, &err), 0);
  EXPECT_EQ(out.rfind("usage: corvio-server serve ", 0), 0u) << out;
  for (const char* option : {"--max-connections N", "--handshake-timeout S", "--login-timeout S",
                             "--max-catalog SIZE", "--trace FILE", "split=REPLY[:N]"}) {
    EXPECT_NE(out.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(out.find("add-login"), std::string::npos);
  EXPECT_EQ(run_server_command({"add-login", "--help"}, "", &out, &err), 0);
  EXPECT_NE(out.find("A LOGIN and a password are 1 to 32 characters"), std::string::npos) << out;
  EXPECT_EQ(run_server_command({"help", "add-profile"}, "", &out, &err), 0);
  EXPECT_NE(out.find("A TAG is 1 to 31 characters"), std::string::npos) << out;
  EXPECT_EQ(run_server_command({"init", "--help"}, "", &out, &err), 0);
  EXPECT_NE(out.find("--self-signed HOST"), std::string::npos) << out;
  EXPECT_EQ(run_server_command({"--version"}, "", &out, &err), 0);
  EXPECT_EQ(out, "corvio-server 0.13.4\n");
}

TEST_F(ServerTest, FiftyConcurrentSessions) {
  start();
  constexpr int kSessions = 50;
  // Fifty logins hash their passwords at once; on a loaded machine that takes a while.
  constexpr int kWait = 30;
  std::string shared = noise(20000, 99);
  std::vector<uint32_t> catalogs(kSessions);
  std::vector<std::string> failures(kSessions);
  std::vector<std::thread> threads;
  for (int i = 0; i < kSessions; ++i) {
    threads.emplace_back([&, i] {
      TestClient client(server->port(), store + "/ca.pem");
      std::string own = noise(6000, 1000 + i);
      if (client.greet_and_login("alice", "secret", kWait) != 0) {
        failures[i] = "login";
        return;
      }
      client.send(catalog_alloc(1));
      std::string reply = client.recv(kWait).value_or("");
      if (reply.size() != 7 || reply[2] != 0) {
        failures[i] = "catalog";
        return;
      }
      catalogs[i] = u32_at(reply, 3);
      for (const std::string* block : {&own, &shared}) {
        client.send(seg_store(md5(*block), static_cast<uint32_t>(block->size()), false,
                              static_cast<uint32_t>(block->size())));
        reply = client.recv(kWait).value_or("");
        if (reply.size() == 7 && reply[6] == 0) {
          for (size_t at = 0; at < block->size(); at += 4096) {
            client.send(seg_data(std::string_view(*block).substr(at, 4096)));
          }
          reply = client.recv(kWait).value_or("");
          if (reply.substr(0, 2) != "\x80\x13") failures[i] = "stored";
        } else if (reply.size() != 7 || static_cast<uint8_t>(reply[6]) != 0xFF) {
          failures[i] = "store";
        }
        client.send(seg_ref(md5(*block), catalogs[i]));
        if (client.recv(kWait).value_or("") != std::string("\x80\x1f\x00", 3)) failures[i] = "ref";
      }
      client.send(quit_message());
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kSessions; ++i) EXPECT_EQ(failures[i], "") << "session " << i;
  EXPECT_EQ(std::set<uint32_t>(catalogs.begin(), catalogs.end()).size(), size_t{kSessions});

  db::Database db;
  ASSERT_EQ(db.open(store + "/store.db"), SQLITE_OK);
  db::Statement blocks = db.prepare("select count(*) from blocks where length > 0");
  ASSERT_EQ(blocks.step(), SQLITE_ROW);
  EXPECT_EQ(blocks.column_int64(0), kSessions + 1);
  blocks.reset();  // ends this connection's read, so that the counts below see later writes
  // References are written behind, by the end of their session: a session's quit may still be
  // on its way.
  int64_t refs = 0;
  for (int tries = 0; tries < 100 && refs != 2 * kSessions; ++tries) {
    if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    db::Statement count = db.prepare("select count(*) from refs");
    ASSERT_EQ(count.step(), SQLITE_ROW);
    refs = count.column_int64(0);
  }
  EXPECT_EQ(refs, 2 * kSessions);
}

TEST_F(ServerTest, TerminateEndsOpenSessionsAndExitsCleanly) {
  start({"silent=profile"});
  std::unique_ptr<TestClient> idle = alice();
  std::unique_ptr<TestClient> waiting = alice();
  ASSERT_TRUE(waiting->send(profile_get("home")));
  EXPECT_EQ(server->terminate(), 0);
  // Both connections were closed by the server as it stopped.
  EXPECT_EQ(idle->recv(2), std::string());
  EXPECT_EQ(waiting->recv(2), std::string());
  std::string log = server->error_output();
  EXPECT_NE(log.find("session 1 from 127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("login \"alice\""), std::string::npos) << log;
  EXPECT_NE(log.find("stopped"), std::string::npos) << log;

  start();
  std::unique_ptr<TestClient> other = alice();
  EXPECT_EQ(server->interrupt(), 0);
  EXPECT_EQ(other->recv(2), std::string());
}

TEST_F(ServerTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
  start({}, {"--max-connections", "2"});
  std::unique_ptr<TestClient> first = alice();
  std::unique_ptr<TestClient> second = connect();
  auto begun = std::chrono::steady_clock::now();
  {
    TestClient third(server->port(), store + "/ca.pem");
    EXPECT_FALSE(third.ok());  // closed before any handshake
  }
  EXPECT_LT(seconds_since(begun), 2.0);
  RawConnection fourth(server->port());
  EXPECT_TRUE(fourth.closed_within(2000));
  // The two served go on; once one ends, a new connection is served again.
  EXPECT_EQ(exchange(*first, profile_get("home")).substr(0, 2), "\x01\x10");
  second.reset();
  bool served = false;
  for (int i = 0; i < 50 && !served; ++i) {
    TestClient again(server->port(), store + "/ca.pem");
    served = again.ok() && again.greet_and_login("alice", "secret") == 0;
    if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(served);
  server->terminate();
  std::string log = server->error_output();
  EXPECT_TRUE(has_line_starting(log, "connection from 127.0.0.1:")) << log;
  EXPECT_NE(log.find(" refused: 2 connections open, the most allowed"), std::string::npos) << log;
}

TEST_F(ServerTest, SlowHandshakesAndLoginsAreCut) {
  start({}, {"--handshake-timeout", "1", "--login-timeout", "1"});
  // No handshake at all.
  auto begun = std::chrono::steady_clock::now();
  RawConnection idle(server->port());
  ASSERT_TRUE(idle.ok());
  EXPECT_TRUE(idle.closed_within(5000));
  EXPECT_LT(seconds_since(begun), 3.0);
  EXPECT_GT(seconds_since(begun), 0.8);
  // A handshake trickled a byte at a time, each in good time: the whole must be done in time.
  begun = std::chrono::steady_clock::now();
  RawConnection trickle(server->port());
  ASSERT_TRUE(trickle.send(std::string("\x16\x03\x01\x02\x00", 5)));  // a 512-byte record
  bool cut = false;
  for (int i = 0; i < 12 && !cut; ++i) {
    trickle.send(std::string(1, '\x01'));
    cut = trickle.closed_within(250);
  }
  EXPECT_TRUE(cut);
  EXPECT_LT(seconds_since(begun), 2.5);
  // A handshake, then no login; then a login that never ends.
  std::unique_ptr<TestClient> silent = connect();
  EXPECT_EQ(silent->recv()->size(), 10u);
  EXPECT_EQ(silent->recv(5), std::string());
  std::unique_ptr<TestClient> partial = connect();
  partial->recv();
  EXPECT_TRUE(partial->send(login_message("alice", "secret").substr(0, 40)));
  EXPECT_EQ(partial->recv(5), std::string());
  // Once logged in, a client may take its time.
  std::unique_ptr<TestClient> patient = connect();
  patient->recv();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(exchange(*patient, login_message("alice", "secret")), kLoggedIn);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(exchange(*patient, profile_get("home")).substr(0, 2), "\x01\x10");
  server->terminate();
  std::string log = server->error_output();
  EXPECT_NE(log.find("session 1 from 127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find(": TLS handshake timed out;"), std::string::npos) << log;
  EXPECT_NE(log.find(": login timed out;"), std::string::npos) << log;
}

// A claim of a block costs nothing before its bytes come: beyond the limits it is refused, and
// within them its payload is decoded and written to disk as it arrives.
TEST_F(ServerTest, BlockClaimsAreBoundedAndCatalogsGoToDisk) {
  start();
  std::unique_ptr<TestClient> client = alice();
  // 2 GiB - 1, compressed, with a payload of one byte; then a raw block just past 1 GiB.
  std::string reply = exchange(*client, seg_store(md5("a"), 0x7FFFFFFF, true, 1));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[6], 0x02);
  reply = exchange(*client, seg_store(md5("a"), (1u << 30) + 1, false, (1u << 30) + 1));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[6], 0x02);
  EXPECT_LT(peak_memory(server->pid()), 256u << 20);

  // With the largest limit the same claim is taken; its byte ends it, without 2 GiB of memory.
  start({}, {"--max-catalog", "2147483647"});
  client = alice();
  reply = exchange(*client, seg_store(md5("a"), 0x7FFFFFFF, true, 1));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[6], 0x00);
  EXPECT_TRUE(client->send(seg_data("x")));
  EXPECT_EQ(client->recv(), std::string());  // not a whole compressed block: rejected
  // A raw one of 2 GiB - 1 of which a few chunks come.
  client = alice();
  reply = exchange(*client, seg_store(md5("b"), 0x7FFFFFFF, false, 0x7FFFFFFF));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[6], 0x00);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(client->send(seg_data(noise(4096, i))));
  EXPECT_TRUE(client->send(quit_message()));
  client.reset();
  EXPECT_LT(peak_memory(server->pid()), 256u << 20);

  // A catalog of 2.5 MiB under a limit of 3 MiB goes through a temporary file beside its place.
  start({}, {"--max-catalog", "3M"});
  client = alice();
  reply = exchange(*client, seg_store(md5("c"), 3 * (1u << 20) + 1, false, 3 * (1u << 20) + 1));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[6], 0x02);
  std::string catalog = noise(5 * (1u << 19), 7);
  reply = exchange(*client, seg_store(md5(catalog), static_cast<uint32_t>(catalog.size()), false,
                                      static_cast<uint32_t>(catalog.size())));
  ASSERT_EQ(reply.size(), 7u);
  ASSERT_EQ(reply[6], 0x00);
  size_t half = catalog.size() / 2;
  for (size_t at = 0; at < half; at += 4096) {
    EXPECT_TRUE(client->send(seg_data(std::string_view(catalog).substr(at, 4096))));
  }
  fs::path folder = fs::path(block_file(catalog)).parent_path();
  uintmax_t on_disk = 0;
  for (int i = 0; i < 100 && on_disk + 64 * 1024 < half; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (entry.path().filename().string().rfind(".tmp-", 0) == 0) on_disk = entry.file_size();
    }
  }
  EXPECT_GE(on_disk + 64 * 1024, half);
  for (size_t at = half; at < catalog.size(); at += 4096) {
    EXPECT_TRUE(client->send(seg_data(std::string_view(catalog).substr(at, 4096))));
  }
  EXPECT_EQ(client->recv().value_or("").substr(0, 2), "\x80\x13");
  EXPECT_EQ(corvio::test::read_file(block_file(catalog)), catalog);
  // Compressed, a catalog above 1 MiB is decoded on the way to the disk just the same.
  std::string packed(3 * (1u << 20) - 10, 'p');
  EXPECT_EQ(store_block(*client, packed, true).substr(0, 2), "\x80\x13");
  EXPECT_EQ(corvio::test::read_file(block_file(packed)), packed);
  // A payload cut short leaves no temporary file behind.
  std::string cut = noise(2 * (1u << 20), 8);
  reply = exchange(*client, seg_store(md5(cut), static_cast<uint32_t>(cut.size()), false,
                                      static_cast<uint32_t>(cut.size())));
  ASSERT_EQ(reply[6], 0x00);
  EXPECT_TRUE(client->send(seg_data(cut.substr(0, 4096))));
  client.reset();
  EXPECT_EQ(server->terminate(), 0);
  for (const auto& entry : fs::recursive_directory_iterator(store + "/blocks")) {
    EXPECT_NE(entry.path().filename().string().rfind(".tmp-", 0), 0u) << entry.path();
  }
  EXPECT_FALSE(fs::exists(block_file(cut)));
}

// Texts a client chose are quoted in the log, so none can forge a line; the trace hides
// passwords and is its owner's alone.
TEST_F(ServerTest, LogQuotesClientTextsAndTraceHidesPasswords) {
  corvio::test::write_file(trace, "");
  fs::permissions(trace, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::others_read);
  start();
  std::unique_ptr<TestClient> client = connect();
  client->recv();
  const std::string forged = "x\nsession 9 from 1.2.3.4:5 login";
  EXPECT_EQ(exchange(*client, login_message(forged, "pw")), std::string("\x00\x09\xff", 3));
  client = alice();
  EXPECT_EQ(exchange(*client, profile_get("home\r\nsession 8 login root")), "\x01\x11");
  EXPECT_TRUE(client->send(quit_message()));
  EXPECT_EQ(client->recv(), std::string());
  EXPECT_EQ(server->terminate(), 0);
  std::string log = server->error_output();
  EXPECT_FALSE(has_line_starting(log, "session 9")) << log;
  EXPECT_FALSE(has_line_starting(log, "session 8")) << log;
  EXPECT_NE(log.find("login \"x\\nsession 9 from 1.2.3.4:5 login\" not accepted"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("login \"alice\" profile \"home\\r\\nsession 8 login root\": quit"),
            std::string::npos)
      << log;

  std::string traced = corvio::test::read_file(trace);
  EXPECT_EQ(traced.find(to_hex("secret")), std::string::npos) << traced;
  EXPECT_NE(traced.find(to_hex(login_message("alice", "secret").substr(0, 43)) +
                        std::string(64, 'x') + "00\n"),
            std::string::npos)
      << traced;
  EXPECT_EQ(perms_of(trace), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace corvio::server::test
