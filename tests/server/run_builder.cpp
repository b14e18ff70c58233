// SPDX-License-Identifier: Apache-2.0
#include "run_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/sql_rows.h"
#include "util/md5_hex.h"

namespace corvio::server::test {

RunBuilder::RunBuilder(bool windows, uint32_t catalog_id)
    : ctx_(world_.context_in_style(windows)), catalog_(ctx_) {
  session_.profile = std::make_unique<Profile>();
  session_.profile->tag = "home";
  session_.catalog_id = catalog_id;
  session_.start_time = 1'700'000'000;
  // Under the Windows style the profile's paths are backslash-joined names inside the world's
  // directory; under POSIX they are real directories.
  if (!windows) std::filesystem::create_directories(ctx_.profile_dir("home"));
  std::string cfg = ctx_.style.join(ctx_.profile_dir("home"), "home.cfg");
  corvio::test::sql_exec(cfg,
                         "create table config ( id integer not null primary key autoincrement,"
                         " type varchar(1024) not null, parm varchar(1024) not null,"
                         " parm2 varchar(1024) not null );"
                         "insert into config( type, parm, parm2 ) values (10,'home','');");
  EXPECT_EQ(catalog_.create(session_), 0);
}

void RunBuilder::keep(const std::string& block) {
  if (kept_.emplace(block, true).second) blocks_.push_back(block);
}

void RunBuilder::add_dir(const std::string& path, uint32_t t_modify, uint32_t t_access,
                         uint32_t mode) {
  FileStat stat;
  stat.type = kFileStatDirectory;
  stat.attr = 0x10;
  stat.mode = mode;
  stat.t_access = t_access;
  stat.t_change = t_modify;
  stat.t_modify = t_modify;
  EXPECT_NE(catalog_.filespec_insert(path, stat), 0u) << path;
  ++directories_;
}

uint32_t RunBuilder::add_file(const std::string& path, const std::string& bytes, uint32_t t_modify,
                              uint32_t t_access, uint32_t mode) {
  FileStat stat;
  stat.type = kFileStatRegular;
  stat.attr = 0x20;
  stat.mode = mode;
  stat.size = bytes.size();
  stat.t_access = t_access;
  stat.t_change = t_modify;
  stat.t_modify = t_modify;
  uint32_t id = catalog_.filespec_insert(path, stat);
  EXPECT_NE(id, 0u) << path;
  for (size_t offset = 0; offset < bytes.size(); offset += kBlock) {
    add_block_row(id, bytes.substr(offset, kBlock), offset);
  }
  ++files_;
  bytes_ += bytes.size();
  return id;
}

uint32_t RunBuilder::add_file_row(const std::string& path, uint64_t size, uint32_t t_modify) {
  FileStat stat;
  stat.type = kFileStatRegular;
  stat.mode = 16384;
  stat.size = size;
  stat.t_access = stat.t_change = stat.t_modify = t_modify;
  uint32_t id = catalog_.filespec_insert(path, stat);
  EXPECT_NE(id, 0u) << path;
  ++files_;
  bytes_ += size;
  return id;
}

void RunBuilder::add_block_row(uint32_t id, const std::string& block, uint64_t offset) {
  Md5Digest digest = md5_of(block);
  catalog_.seg_insert(id, digest.data(), offset, static_cast<uint32_t>(block.size()));
  keep(block);
}

std::string RunBuilder::finish() {
  session_.stats.files = files_;
  session_.stats.directories = directories_;
  session_.stats.bytes_total = bytes_;
  EXPECT_EQ(catalog_.write_stats(session_), 0);
  catalog_.close();
  EXPECT_EQ(world_.messages.shown().size(), 0u);
  return corvio::test::read_file(session_.catalog_path);
}

void put_run(Store& store, const std::string& login, uint32_t catalog_id,
             const std::vector<std::string>& blocks, const std::string& catalog,
             const RunBuilder& run, uint32_t end_time) {
  std::string error;
  for (const std::string& block : blocks) {
    BlockKey key{md5_of(block), static_cast<uint32_t>(block.size())};
    ASSERT_TRUE(store.put_block(key, block, &error)) << error;
    ASSERT_EQ(store.add_ref(login, catalog_id, key.md5), RefResult::kRecorded);
  }
  BlockKey key{md5_of(catalog), static_cast<uint32_t>(catalog.size())};
  ASSERT_TRUE(store.put_block(key, catalog, &error)) << error;
  ASSERT_EQ(store.add_ref(login, catalog_id, key.md5), RefResult::kRecorded);
  RunRecord record;
  record.catalog_id = catalog_id;
  record.catalog_key = key.md5;
  record.catalog_size = catalog.size();
  record.time = end_time;
  record.files = run.files();
  record.directories = run.directories();
  record.bytes_total = run.bytes() + catalog.size();
  record.bytes_stored = run.bytes();
  record.bytes_compressed = run.bytes() / 2;
  ASSERT_EQ(store.finish_run(login, record, end_time), FinishResult::kRecorded);
}

std::string noise(size_t n, uint32_t seed) {
  std::string out(n, '\0');
  for (char& c : out) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 23);
  }
  return out;
}

std::string text(size_t n, uint32_t seed) {
  static const char kWords[] = "the quick brown fox jumps over the lazy dog ";
  std::string out;
  out.reserve(n);
  while (out.size() < n) {
    seed = seed * 1103515245u + 12345u;
    out += kWords[(seed >> 16) % (sizeof kWords - 1)];
  }
  return out;
}

}  // namespace corvio::server::test
