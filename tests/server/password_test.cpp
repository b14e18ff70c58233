// SPDX-License-Identifier: Apache-2.0
#include "password.h"

#include <gtest/gtest.h>

#include "util/hex.h"

namespace corvio::server {
namespace {

// Few iterations keep the test fast; the function is the same.
constexpr int kTestIterations = 1000;

TEST(PasswordTest, VerifiesOnlyTheRightPassword) {
  PasswordHash stored = hash_password("correct horse", kTestIterations);
  ASSERT_EQ(stored.hash.size(), 64u);
  EXPECT_TRUE(verify_password("correct horse", stored));
  EXPECT_FALSE(verify_password("correct hors", stored));
  EXPECT_FALSE(verify_password("correct horse ", stored));
  EXPECT_FALSE(verify_password("", stored));
  // The iteration count is part of the hash.
  PasswordHash fewer = stored;
  fewer.iterations = kTestIterations - 1;
  EXPECT_FALSE(verify_password("correct horse", fewer));
}

TEST(PasswordTest, SaltMakesEqualPasswordsHashDifferently) {
  PasswordHash a = hash_password("same", kTestIterations);
  PasswordHash b = hash_password("same", kTestIterations);
  EXPECT_NE(a.salt, b.salt);
  EXPECT_NE(a.hash, b.hash);
  EXPECT_TRUE(verify_password("same", b));
  EXPECT_EQ(a.hash.find(to_hex("same")), std::string::npos);
}

TEST(PasswordTest, DamagedStoredValuesNeverVerify) {
  PasswordHash stored = hash_password("pw", kTestIterations);
  PasswordHash odd = stored;
  odd.salt.pop_back();
  EXPECT_FALSE(verify_password("pw", odd));
  PasswordHash not_hex = stored;
  not_hex.hash[0] = 'g';
  EXPECT_FALSE(verify_password("pw", not_hex));
  PasswordHash short_hash = stored;
  short_hash.hash.resize(62);
  EXPECT_FALSE(verify_password("pw", short_hash));
  EXPECT_FALSE(verify_password("pw", PasswordHash{}));
}

}  // namespace
}  // namespace corvio::server
