// End-to-end tests: the corvio-server program, started as a process, spoken to over loopback
// TLS by a raw test client.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "db/database.h"
#include "util/md5_hex.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "test_client.h"

namespace corvio::server::test {

using corvio::test::run_server_command;
using corvio::test::ServerProcess;
namespace {

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

  void start(std::vector<std::string> faults = {}) {
    std::vector<std::string> args = {"--store", store, "--listen", "127.0.0.1:0", "--trace", trace};
    for (const std::string& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
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

  std::string exchange(TestClient& client, const std::string& message) {
    EXPECT_TRUE(client.send(message));
    return client.recv().value_or("<no reply>");
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

TEST_F(ServerTest, GreetsAndAnswersLoginsWithTheirStatus) {
  start();
  std::unique_ptr<TestClient> client = connect();
  std::string hello = client->recv().value_or("");
  ASSERT_EQ(hello.size(), 10u);
  EXPECT_EQ(hello.substr(0, 2), std::string("\x00\x00", 2));
  EXPECT_EQ(exchange(*client, login_message("alice", "wrong")), std::string("\x00\x09\xff", 3));
  EXPECT_EQ(exchange(*client, login_message("nobody", "secret")), std::string("\x00\x09\xff", 3));
  // Nothing but a login is answered before a login succeeds: the connection is closed.
  EXPECT_TRUE(client->send(profile_get("home")));
  EXPECT_EQ(client->recv(), std::string());

  client = connect();
  client->recv();
  EXPECT_EQ(exchange(*client, login_message("alice", "secret")), kLoggedIn);
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
  // A second store of a held block is answered "held" (0xFF) without a payload.
  std::string again = exchange(*other, seg_store(md5(raw), 10000, false, 10000));
  ASSERT_EQ(again.size(), 7u);
  EXPECT_EQ(static_cast<uint8_t>(again[6]), 0xFF);
  // A reference to a block the server lacks is not recorded.
  std::string missing = exchange(*other, seg_ref(md5("never stored"), catalog));
  ASSERT_EQ(missing.size(), 3u);
  EXPECT_NE(missing[2], 0);

  EXPECT_EQ(exchange(*other, catalog_finish(catalog, md5(raw), 10000, 7)),
            std::string("\x02\x24\x00", 3));
  EXPECT_TRUE(other->send(quit_message()));
  EXPECT_EQ(other->recv(), std::string());

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
  EXPECT_EQ(run.column_int64(0), 10000);
  EXPECT_EQ(run.column_int64(1), 7);
  EXPECT_EQ(run.column_text(2), md5_to_hex(md5(raw)));
  db::Statement refs = db.prepare("select count(*) from refs where catalog_id=?");
  ASSERT_EQ(refs.bind_int64(1, catalog), SQLITE_OK);
  ASSERT_EQ(refs.step(), SQLITE_ROW);
  EXPECT_EQ(refs.column_int64(0), 2);
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
  // A store made without certificates cannot serve until it is given some.
  std::string bare = dir.file("bare");
  ASSERT_EQ(run_server_command({"init", "--store", bare}, ""), 0);
  EXPECT_EQ(
      run_server_command({"serve", "--store", bare, "--listen", "127.0.0.1:0"}, "", &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("cannot load certificate"), std::string::npos) << err;
  EXPECT_EQ(run_server_command({"--help"}, "", &out, &err), 0);
  EXPECT_NE(out.find("corvio-server serve --store DIR --listen ADDR:PORT"), std::string::npos);
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
  db::Statement refs = db.prepare("select count(*) from refs");
  ASSERT_EQ(refs.step(), SQLITE_ROW);
  EXPECT_EQ(refs.column_int64(0), 2 * kSessions);
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
  EXPECT_NE(log.find("login alice"), std::string::npos) << log;
  EXPECT_NE(log.find("stopped"), std::string::npos) << log;

  start();
  std::unique_ptr<TestClient> other = alice();
  EXPECT_EQ(server->interrupt(), 0);
  EXPECT_EQ(other->recv(2), std::string());
}

}  // namespace
}  // namespace corvio::server::test
