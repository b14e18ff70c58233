#include "store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace corvio::server {
namespace {

namespace fs = std::filesystem;

BlockKey key_of(std::string_view bytes) {
  return BlockKey{md5_of(bytes), static_cast<uint32_t>(bytes.size())};
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("store");
    std::string error;
    ASSERT_TRUE(Store::create(path, &error)) << error;
    store = Store::open(path, &error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->add_login("alice", "secret", &error)) << error;
    ASSERT_TRUE(store->add_profile("alice", "home", &home, &error)) << error;
  }

  // Names of the files in the block folder of key, temporary ones included.
  std::vector<std::string> files_beside(const BlockKey& key) {
    std::vector<std::string> names;
    for (const auto& entry :
         fs::directory_iterator(fs::path(store->block_path(key)).parent_path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  corvio::test::TempDir dir;
  std::string path;
  std::unique_ptr<Store> store;
  uint32_t home = 0;
  std::string error;
};

TEST_F(StoreTest, LoginsAndProfiles) {
  EXPECT_TRUE(store->check_login("alice", "secret"));
  EXPECT_FALSE(store->check_login("alice", "Secret"));
  EXPECT_FALSE(store->check_login("bob", "secret"));
  EXPECT_FALSE(store->add_login("alice", "other", &error));
  EXPECT_EQ(error, "login alice already exists");
  EXPECT_TRUE(store->check_login("alice", "secret"));
  EXPECT_FALSE(store->add_login("", "pw", &error));
  EXPECT_FALSE(store->add_login("carol", std::string(33, 'p'), &error));
  EXPECT_FALSE(store->add_login(std::string("a\0b", 3), "pw", &error));

  uint32_t id = 0;
  EXPECT_FALSE(store->add_profile("bob", "home", &id, &error));
  EXPECT_EQ(error, "no login bob");
  EXPECT_FALSE(store->add_profile("alice", "home", &id, &error));
  EXPECT_FALSE(store->add_profile("alice", std::string(32, 't'), &id, &error));
  ASSERT_TRUE(store->add_login("bob", "pw", &error));
  ASSERT_TRUE(store->add_profile("bob", "home", &id, &error));
  EXPECT_NE(id, home);
  EXPECT_EQ(store->find_profile("alice", "home"), home);
  EXPECT_EQ(store->find_profile("bob", "home"), id);
  EXPECT_EQ(store->find_profile("alice", "HOME"), std::nullopt);
  EXPECT_EQ(store->find_profile("carol", "home"), std::nullopt);
}

TEST_F(StoreTest, CatalogNumbersAreUniqueIncreasingAndOwned) {
  std::optional<uint32_t> a = store->allocate_catalog("alice", home, 1);
  std::optional<uint32_t> b = store->allocate_catalog("alice", home, 2);
  ASSERT_TRUE(a && b);
  EXPECT_LT(*a, *b);
  ASSERT_TRUE(store->add_login("bob", "pw", &error));
  EXPECT_EQ(store->allocate_catalog("bob", home, 3), std::nullopt);
  EXPECT_EQ(store->allocate_catalog("alice", home + 100, 3), std::nullopt);
  // Numbers keep increasing after the store is reopened.
  store.reset();
  store = Store::open(path, &error);
  ASSERT_TRUE(store);
  std::optional<uint32_t> c = store->allocate_catalog("alice", home, 4);
  ASSERT_TRUE(c);
  EXPECT_GT(*c, *b);
}

TEST_F(StoreTest, BlocksAreKeyedByDigestAndLengthAndWrittenWhole) {
  std::string data(70000, 'd');
  BlockKey key = key_of(data);
  EXPECT_FALSE(store->has_block(key));
  ASSERT_TRUE(store->put_block(key, data, &error)) << error;
  EXPECT_TRUE(store->has_block(key));
  EXPECT_FALSE(store->has_block(BlockKey{key.md5, key.length + 1}));
  EXPECT_EQ(corvio::test::read_file(store->block_path(key)), data);
  // Only the block itself is left: the temporary file it was written to is gone.
  EXPECT_EQ(files_beside(key),
            std::vector<std::string>{fs::path(store->block_path(key)).filename()});
  // Storing it again changes nothing.
  ASSERT_TRUE(store->put_block(key, data, &error)) << error;
  EXPECT_EQ(corvio::test::read_file(store->block_path(key)), data);
}

TEST_F(StoreTest, AFileWithoutItsIndexEntryIsNotHeld) {
  // What a crash between writing a block and listing it leaves behind.
  std::string data = "half written";
  BlockKey key = key_of(data);
  fs::create_directories(fs::path(store->block_path(key)).parent_path());
  corvio::test::write_file(store->block_path(key), data.substr(0, 4));
  EXPECT_FALSE(store->has_block(key));
  ASSERT_TRUE(store->put_block(key, data, &error)) << error;
  EXPECT_EQ(corvio::test::read_file(store->block_path(key)), data);
}

TEST_F(StoreTest, TheEmptyBlockIsAlwaysHeld) { EXPECT_TRUE(store->has_block(key_of(""))); }

TEST_F(StoreTest, ReferencesAndRunRecords) {
  uint32_t catalog = *store->allocate_catalog("alice", home, 1);
  std::string data = "block bytes";
  EXPECT_EQ(store->add_ref("alice", catalog, md5_of(data)), RefResult::kNoBlock);
  ASSERT_TRUE(store->put_block(key_of(data), data, &error));
  EXPECT_EQ(store->add_ref("alice", catalog, md5_of(data)), RefResult::kRecorded);
  EXPECT_EQ(store->add_ref("alice", catalog, md5_of(data)), RefResult::kRecorded);
  EXPECT_EQ(store->add_ref("alice", catalog + 1, md5_of(data)), RefResult::kNotOwner);
  ASSERT_TRUE(store->add_login("bob", "pw", &error));
  EXPECT_EQ(store->add_ref("bob", catalog, md5_of(data)), RefResult::kNotOwner);

  RunRecord run;
  run.catalog_id = catalog;
  run.catalog_md5 = md5_of(data);
  run.catalog_size = 40000;
  run.files = 3;
  run.bytes_total = 5'000'000'000ULL;
  EXPECT_FALSE(store->finish_run("bob", run, 10));
  EXPECT_TRUE(store->finish_run("alice", run, 10));
  run.files = 4;
  EXPECT_TRUE(store->finish_run("alice", run, 11));  // sent again after a reconnection

  store.reset();
  db::Database db;
  ASSERT_EQ(db.open(path + "/store.db"), SQLITE_OK);
  db::Statement st = db.prepare("select count(*), max(files), max(bytes_total) from runs");
  ASSERT_EQ(st.step(), SQLITE_ROW);
  EXPECT_EQ(st.column_int64(0), 1);
  EXPECT_EQ(st.column_int64(1), 4);
  EXPECT_EQ(st.column_int64(2), 5'000'000'000LL);
  db::Statement refs = db.prepare("select count(*) from refs");
  ASSERT_EQ(refs.step(), SQLITE_ROW);
  EXPECT_EQ(refs.column_int64(0), 1);
}

TEST_F(StoreTest, OpenRefusesWhatIsNotAStore) {
  EXPECT_FALSE(Store::open(dir.file("nothing"), &error));
  EXPECT_NE(error.find("is not a store"), std::string::npos);
  fs::create_directories(dir.file("fake/blocks"));
  corvio::test::write_file(dir.file("fake/store.db"), "not a database");
  EXPECT_FALSE(Store::open(dir.file("fake"), &error));
  // Creating over an existing store keeps its data.
  store.reset();
  ASSERT_TRUE(Store::create(path, &error)) << error;
  store = Store::open(path, &error);
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->check_login("alice", "secret"));
}

}  // namespace
}  // namespace corvio::server
