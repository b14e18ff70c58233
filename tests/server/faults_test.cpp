// SPDX-License-Identifier: Apache-2.0
#include "faults.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace corvio::server {
namespace {

int times_taken(FaultCount& count, int tries) {
  int taken = 0;
  for (int i = 0; i < tries; ++i) taken += count.take() ? 1 : 0;
  return taken;
}

TEST(FaultsTest, ParsesEveryForm) {
  Faults f;
  std::string error;
  for (const char* spec :
       {"login=fe:2", "greeting=badcode", "catalog-refuse=3", "split=stored:1", "trailing=ref",
        "drop=4:2", "silent=finish:1", "profile-unknown", "store-status=FF:1"}) {
    EXPECT_TRUE(parse_fault(spec, &f, &error)) << spec;
  }
  EXPECT_EQ(f.login_status, 0xFE);
  EXPECT_EQ(times_taken(f.login, 5), 2);
  EXPECT_EQ(f.greeting_kind, GreetingFault::kBadCode);
  EXPECT_EQ(times_taken(f.greeting, 5), 5);  // no count: always
  EXPECT_EQ(times_taken(f.catalog_refuse, 5), 3);
  EXPECT_EQ(times_taken(f.split[static_cast<size_t>(Reply::kStored)], 5), 1);
  EXPECT_EQ(times_taken(f.split[static_cast<size_t>(Reply::kStore)], 5), 0);
  EXPECT_EQ(times_taken(f.trailing[static_cast<size_t>(Reply::kRef)], 5), 5);
  EXPECT_EQ(f.drop_after, 4u);
  EXPECT_EQ(times_taken(f.drop, 5), 2);
  EXPECT_EQ(times_taken(f.silent[static_cast<size_t>(Reply::kFinish)], 5), 1);
  EXPECT_EQ(times_taken(f.profile_unknown, 5), 5);
  EXPECT_EQ(f.store_status_byte, 0xFF);
  EXPECT_EQ(times_taken(f.store_status, 5), 1);
  // Faults not chosen never apply.
  EXPECT_EQ(times_taken(f.silent[static_cast<size_t>(Reply::kLogin)], 5), 0);
}

TEST(FaultsTest, RejectsMalformedSpecs) {
  Faults f;
  std::string error;
  for (const char* spec :
       {"", "login", "login=f", "login=fff", "login=zz", "login=fe:", "login=fe:x", "greeting=long",
        "split=nothing", "split=", "drop=0", "drop=x:1", "catalog-refuse=a", "store-status=1",
        "unknown=1", "silent=login:-1"}) {
    EXPECT_FALSE(parse_fault(spec, &f, &error)) << spec;
    EXPECT_NE(error.find(spec), std::string::npos);
  }
}

TEST(FaultsTest, CountIsSharedExactlyAcrossThreads) {
  FaultCount count;
  count.set(500);
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] { taken += times_taken(count, 200); });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(taken.load(), 500);
}

TEST(FaultsTest, ReplyNames) {
  for (const char* name :
       {"greeting", "login", "profile", "catalog", "query", "store", "stored", "ref", "finish"}) {
    std::optional<Reply> reply = reply_from_name(name);
    ASSERT_TRUE(reply) << name;
    EXPECT_STREQ(reply_name(*reply), name);
  }
  EXPECT_FALSE(reply_from_name("Login"));
}

}  // namespace
}  // namespace corvio::server
