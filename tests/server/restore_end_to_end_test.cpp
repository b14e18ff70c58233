// SPDX-License-Identifier: Apache-2.0
// End-to-end tests of corvio-server restore, verify and catalogs: runs are put into a store
// (with the client's own catalog code, and once through the serving program itself), then the
// program's commands are run as a user runs them and their files, output and status checked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "log.h"
#include "run_builder.h"
#include "store.h"
#include "stored_block.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "test_client.h"
#include "util/hex.h"
#include "util/md5_hex.h"

namespace corvio::server::test {
namespace {

namespace fs = std::filesystem;
using corvio::test::read_file;
using corvio::test::run_server_command;
using corvio::test::ServerProcess;
using corvio::test::write_file;

constexpr uint32_t kEnd = 1'700'000'500;  // 2023-11-14T22:21:40Z

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

struct Times {
  int64_t access = 0;
  int64_t modify = 0;
  bool operator==(const Times&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Times& t) {
  return os << "{access " << t.access << ", modify " << t.modify << "}";
}

// The times of path itself (a link is not followed). Reading them changes none.
Times times_of(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return Times{-1, -1};
  return Times{st.st_atime, st.st_mtime};
}

unsigned permissions_of(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// Every entry below root, relative to it; directories end in '/', links in '@'.
std::set<std::string> tree(const std::string& root) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    std::string name = it->path().lexically_relative(root).string();
    if (it->is_symlink()) {
      out.insert(name + "@");
    } else {
      out.insert(it->is_directory() ? name + "/" : name);
    }
  }
  return out;
}

std::string md5_hex_of(const std::string& bytes) { return md5_to_hex(md5_of(bytes)); }

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Characters that a SQLite URI would take for its own, and a space.
    store_dir = dir.file("store ?#%41");
    to = dir.file("to");
    ASSERT_TRUE(Store::create(store_dir, &error)) << error;
    store = Store::open(store_dir, &error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->add_login("alice", "secret", &error)) << error;
    ASSERT_TRUE(store->add_profile("alice", "home", &home, &error)) << error;
  }

  uint32_t new_catalog(const std::string& login = "alice", uint32_t profile = 0) {
    std::optional<uint32_t> id =
        store->allocate_catalog(login, profile ? profile : home, 1'700'000'000);
    EXPECT_TRUE(id);
    return id.value_or(0);
  }

  Outcome command(const std::vector<std::string>& args) {
    Outcome o;
    o.status = run_server_command(args, "", &o.out, &o.err);
    return o;
  }

  Outcome restore(uint32_t catalog, const std::string& target,
                  const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {
        "restore", "--store", store_dir, "--catalog", std::to_string(catalog), "--to", target};
    args.insert(args.end(), more.begin(), more.end());
    return command(args);
  }

  Outcome verify(const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"verify", "--store", store_dir};
    args.insert(args.end(), more.begin(), more.end());
    return command(args);
  }

  std::string block_file(const std::string& block) {
    return store->block_path(BlockKey{md5_of(block), static_cast<uint32_t>(block.size())});
  }

  corvio::test::TempDir dir;
  std::string store_dir;
  std::string to;
  std::unique_ptr<Store> store;
  uint32_t home = 0;
  std::string error;
};

TEST_F(RestoreTest, WindowsRunIsRestoredWithItsBytesSizesAndTimes) {
  uint32_t id = new_catalog();
  RunBuilder run(true, id);
  const std::string one = noise(kBlock, 1);
  const std::string two = noise(kBlock + 1, 2);
  const std::string notes = text(5000, 3);
  run.add_dir("C:", 315561600, 315561600);
  run.add_dir("C:\\Data", 1'600'000'000, 1'600'000'100);
  run.add_dir("C:\\Data\\Sub", 1'600'000'200, 1'600'000'300);
  run.add_file("C:\\Data\\empty.txt", "", 1'500'000'000, 1'500'000'001);
  run.add_file("C:\\Data\\one.bin", one, 1'500'000'010, 1'500'000'011);
  run.add_file("C:\\Data\\Sub\\two.bin", two, 1'500'000'020, 1'500'000'021);
  run.add_file("C:\\Data\\Sub\\Notes Final.txt", notes, 1'500'000'030, 1'500'000'031);
  // Recorded below another spelling of C:\Data\Sub, as a second include rule may give it.
  run.add_file("C:\\DATA\\sub\\Late.txt", "late", 1'500'000'040, 1'500'000'041);
  std::string catalog = run.finish();
  put_run(*store, "alice", id, run.blocks(), catalog, run, kEnd);
  EXPECT_EQ(run.blocks().size(), 5u);  // one, two (2 blocks), notes, late

  for (int pass = 0; pass < 2; ++pass) {  // again over the first restore: the same result
    SCOPED_TRACE(pass);
    Outcome r = restore(id, to);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "restored catalog " + std::to_string(id) + " to " + to +
                         ": 3 directories, 5 files, 2102157 bytes, 0 problems\n");
    // Times first: reading the files and listing the directories may change access times.
    EXPECT_EQ(times_of(to + "/C"), (Times{315561600, 315561600}));
    EXPECT_EQ(times_of(to + "/C/Data"), (Times{1'600'000'100, 1'600'000'000}));
    EXPECT_EQ(times_of(to + "/C/Data/Sub"), (Times{1'600'000'300, 1'600'000'200}));
    EXPECT_EQ(times_of(to + "/C/Data/empty.txt"), (Times{1'500'000'001, 1'500'000'000}));
    EXPECT_EQ(times_of(to + "/C/Data/one.bin"), (Times{1'500'000'011, 1'500'000'010}));
    EXPECT_EQ(times_of(to + "/C/Data/Sub/two.bin"), (Times{1'500'000'021, 1'500'000'020}));
    EXPECT_EQ(times_of(to + "/C/Data/Sub/Notes Final.txt"), (Times{1'500'000'031, 1'500'000'030}));
    EXPECT_EQ(times_of(to + "/C/Data/Sub/Late.txt"), (Times{1'500'000'041, 1'500'000'040}));
    EXPECT_EQ(fs::file_size(to + "/C/Data/empty.txt"), 0u);
    EXPECT_EQ(fs::file_size(to + "/C/Data/one.bin"), 1'048'576u);
    EXPECT_EQ(fs::file_size(to + "/C/Data/Sub/two.bin"), 1'048'577u);
    EXPECT_TRUE(read_file(to + "/C/Data/one.bin") == one);
    EXPECT_TRUE(read_file(to + "/C/Data/Sub/two.bin") == two);
    EXPECT_EQ(read_file(to + "/C/Data/Sub/Notes Final.txt"), notes);
    // Nothing else: no temporary files are left.
    EXPECT_EQ(tree(to),
              (std::set<std::string>{"C/", "C/Data/", "C/Data/Sub/", "C/Data/empty.txt",
                                     "C/Data/one.bin", "C/Data/Sub/", "C/Data/Sub/two.bin",
                                     "C/Data/Sub/Notes Final.txt", "C/Data/Sub/Late.txt"}));
  }

  Outcome v = verify();
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.err, "");
  EXPECT_EQ(v.out, "verified 1 catalogs, 5 files, 6 blocks: 0 problems\n");
  EXPECT_EQ(verify({"--catalog", std::to_string(id)}).out, v.out);
}

// Blocks sent by a client over TLS, compressed where that pays, as the serving program keeps
// them; a POSIX run with permissions, a name holding a backslash and a directory of its own.
TEST_F(RestoreTest, PosixRunUploadedThroughTheServerIsRestored) {
  ASSERT_EQ(run_server_command({"init", "--store", store_dir, "--self-signed", "127.0.0.1"}, ""),
            0);
  ServerProcess server({"--store", store_dir, "--listen", "127.0.0.1:0"});
  ASSERT_NE(server.port(), 0) << server.error_output();
  TestClient client(server.port(), store_dir + "/ca.pem");
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_EQ(client.greet_and_login("alice", "secret"), 0);
  auto exchange = [&](const std::string& message) {
    EXPECT_TRUE(client.send(message));
    return client.recv().value_or("<no reply>");
  };
  std::string profile = exchange(profile_get("home"));
  ASSERT_GE(profile.size(), 6u);
  std::string alloc = exchange(catalog_alloc(u32_at(profile, 2)));
  ASSERT_EQ(alloc.substr(0, 3), std::string("\x02\x22\x00", 3));
  uint32_t id = u32_at(alloc, 3);

  const std::string notes = text(2 * kBlock + 12345, 7);  // compresses
  const std::string photo = noise(kBlock + 777, 8);       // does not
  RunBuilder run(false, id);
  run.add_dir("/", 1'600'000'000, 1'600'000'000, 040755);
  run.add_dir("/home", 1'600'000'010, 1'600'000'011, 040755);
  run.add_dir("/home/alice", 1'600'000'020, 1'600'000'021, 040750);
  run.add_file("/home/alice/notes.txt", notes, 1'500'000'000, 1'500'000'001, 0100640);
  run.add_file("/home/alice/photo.raw", photo, 1'500'000'010, 1'500'000'011, 0100600);
  run.add_file("/home/alice/odd\\name", "x", 1'500'000'020, 1'500'000'021, 0100644);
  std::string catalog = run.finish();

  auto store_block = [&](const std::string& block) {
    std::string packed = zlib_compress(block);
    bool compress = packed.size() < block.size();
    const std::string& payload = compress ? packed : block;
    std::string reply = exchange(seg_store(md5(block), static_cast<uint32_t>(block.size()),
                                           compress, static_cast<uint32_t>(payload.size())));
    ASSERT_EQ(reply.size(), 7u);
    ASSERT_EQ(reply[6], 0);
    for (size_t at = 0; at < payload.size(); at += 4096) {
      ASSERT_TRUE(client.send(seg_data(std::string_view(payload).substr(at, 4096))));
    }
    ASSERT_EQ(client.recv().value_or("").substr(0, 2), "\x80\x13");
    ASSERT_EQ(exchange(seg_ref(md5(block), id)), std::string("\x80\x1f\x00", 3));
  };
  for (const std::string& block : run.blocks()) store_block(block);
  store_block(catalog);
  ASSERT_EQ(exchange(catalog_finish(id, md5(catalog), catalog.size(), 3)).substr(0, 2), "\x02\x24");
  EXPECT_EQ(server.terminate(), 0);

  Outcome r = restore(id, to);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "restored catalog " + std::to_string(id) + " to " + to +
                       ": 3 directories, 3 files, 3158851 bytes, 0 problems\n");
  EXPECT_EQ(times_of(to + "/home"), (Times{1'600'000'011, 1'600'000'010}));
  EXPECT_EQ(times_of(to + "/home/alice"), (Times{1'600'000'021, 1'600'000'020}));
  EXPECT_EQ(times_of(to + "/home/alice/notes.txt"), (Times{1'500'000'001, 1'500'000'000}));
  EXPECT_EQ(times_of(to + "/home/alice/photo.raw"), (Times{1'500'000'011, 1'500'000'010}));
  EXPECT_EQ(times_of(to + "/home/alice/odd\\name"), (Times{1'500'000'021, 1'500'000'020}));
  EXPECT_EQ(permissions_of(to + "/home/alice"), 0750u);
  EXPECT_EQ(permissions_of(to + "/home/alice/notes.txt"), 0640u);
  EXPECT_EQ(permissions_of(to + "/home/alice/photo.raw"), 0600u);
  EXPECT_TRUE(read_file(to + "/home/alice/notes.txt") == notes);
  EXPECT_TRUE(read_file(to + "/home/alice/photo.raw") == photo);
  EXPECT_EQ(read_file(to + "/home/alice/odd\\name"), "x");
  EXPECT_EQ(tree(to), (std::set<std::string>{"home/", "home/alice/", "home/alice/notes.txt",
                                             "home/alice/photo.raw", "home/alice/odd\\name"}));

  Outcome v = verify();
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out, "verified 1 catalogs, 3 files, 7 blocks: 0 problems\n");
  Outcome list = command({"catalogs", "--store", store_dir});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, std::to_string(id) +
                          " alice home 2023-11-14T22:13:20Z files=3 directories=2"
                          " bytes_total=1000 bytes_stored=900 bytes_compressed=800\n");
}

TEST_F(RestoreTest, UnsafePathsAreRefusedAndNothingIsWrittenOutsideTheTarget) {
  uint32_t id = new_catalog();
  RunBuilder run(true, id);
  const std::vector<std::string> unsafe = {
      "C:\\Data\\..\\..\\..\\escaped.txt",
      "C:\\..\\up.txt",
      "/../../posix-escaped.txt",
      "/home/./dot.txt",
      "C:relative.txt",
      "\\\\server\\share\\unc.txt",
      std::string("/tmp\0/../../nul.txt", 19),
  };
  run.add_dir("C:", 315561600, 315561600);
  run.add_dir("C:\\Data", 1'600'000'000, 1'600'000'000);
  run.add_dir("C:\\Data\\..\\..\\outdir", 1'600'000'000, 1'600'000'000);
  run.add_dir("c:/DATA", 1'600'000'000, 1'600'000'000);  // C:\Data again
  run.add_file("C:\\Data\\ok.txt", "fine", 1'500'000'000, 1'500'000'000);
  for (const std::string& path : unsafe) run.add_file(path, "evil", 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\data\\\\OK.TXT", "second", 1'500'000'000, 1'500'000'000);
  std::string catalog = run.finish();
  put_run(*store, "alice", id, run.blocks(), catalog, run, kEnd);

  std::string area = dir.file("area");
  Outcome r = restore(id, area + "/to");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "restored catalog " + std::to_string(id) + " to " + area +
                       "/to: 2 directories, 1 files, 4 bytes, 10 problems\n");
  const std::string taken = ": not restored: an earlier entry of the catalog has the same place\n";
  std::string expected =
      "corvio-server: C:\\Data\\..\\..\\outdir: not restored: refused: the path has a \"..\" "
      "component\ncorvio-server: c:/DATA" +
      taken;
  const char* why[] = {"has a \"..\" component",
                       "has a \"..\" component",
                       "has a \"..\" component",
                       "has a \".\" component",
                       "is not an absolute path (neither a drive letter nor a leading /)",
                       "is not an absolute path (neither a drive letter nor a leading /)",
                       "contains a 0 byte"};
  for (size_t i = 0; i < unsafe.size(); ++i) {
    // A 0 byte, like any control character, is shown escaped so each problem stays one line.
    std::string shown = i + 1 == unsafe.size() ? "/tmp\\x00/../../nul.txt" : unsafe[i];
    expected += "corvio-server: " + shown + ": not restored: refused: the path " + why[i] + "\n";
  }
  expected += "corvio-server: C:\\data\\\\OK.TXT" + taken;
  EXPECT_EQ(r.err, expected);
  EXPECT_EQ(read_file(area + "/to/C/Data/ok.txt"), "fine");
  std::set<std::string> written;
  for (const std::string& name : tree(dir.path())) {
    if (name.rfind("store ", 0) != 0) written.insert(name);
  }
  EXPECT_EQ(written, (std::set<std::string>{"area/", "area/to/", "area/to/C/", "area/to/C/Data/",
                                            "area/to/C/Data/ok.txt"}));

  // verify finds the same problems, line for line, and writes nothing.
  std::string same;
  const std::string restore_prefix = "corvio-server: ";
  for (size_t at = 0; at < expected.size();) {
    size_t end = expected.find('\n', at) + 1;
    std::string line = expected.substr(at, end - at);
    size_t cut = line.find(": not restored: ");
    same += restore_prefix + "catalog " + std::to_string(id) + ": " +
            line.substr(restore_prefix.size(), cut - restore_prefix.size()) + ": " +
            line.substr(cut + 16);
    at = end;
  }
  Outcome v = verify();
  EXPECT_EQ(v.status, 1);
  EXPECT_EQ(v.err, same);
  EXPECT_EQ(v.out, "verified 1 catalogs, 9 files, 2 blocks: 10 problems\n");
}

TEST_F(RestoreTest, SymbolicLinksUnderTheTargetAreNotFollowed) {
  uint32_t id = new_catalog();
  RunBuilder run(true, id);
  run.add_dir("C:", 315561600, 315561600);
  run.add_dir("C:\\Data", 1'600'000'000, 1'600'000'000);
  run.add_file("C:\\Data\\a.txt", "aaa", 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\Data\\Deep\\b.txt", "bbb", 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\top.txt", "top", 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\Other\\c.txt", "ccc", 1'500'000'000, 1'500'000'000);
  std::string catalog = run.finish();
  put_run(*store, "alice", id, run.blocks(), catalog, run, kEnd);

  std::string outside = dir.file("outside");
  fs::create_directories(outside);
  fs::create_directories(to + "/C");
  fs::create_directory_symlink(outside, to + "/C/Data");
  fs::create_symlink(outside + "/victim.txt", to + "/C/top.txt");

  Outcome r = restore(id, to);
  EXPECT_EQ(r.status, 1);
  const std::string link = to + "/C/Data: is a symbolic link, not followed";
  EXPECT_EQ(r.err, "corvio-server: C:\\Data: not restored: " + link +
                       "\n"
                       "corvio-server: C:\\Data\\a.txt: not restored: " +
                       link +
                       "\n"
                       "corvio-server: C:\\Data\\Deep\\b.txt: not restored: " +
                       link +
                       "\n"
                       "corvio-server: C:\\top.txt: not restored: " +
                       to + "/C/top.txt: is a symbolic link, not replaced\n");
  EXPECT_EQ(tree(outside), std::set<std::string>{});
  EXPECT_EQ(tree(to),
            (std::set<std::string>{"C/", "C/Data@", "C/top.txt@", "C/Other/", "C/Other/c.txt"}));
  EXPECT_EQ(read_file(to + "/C/Other/c.txt"), "ccc");
}

TEST_F(RestoreTest, DamagedBlocksAreReportedByFileAndEverythingElseIsRestored) {
  uint32_t id = new_catalog();
  RunBuilder run(true, id);
  const std::string good = text(3000, 1);
  const std::string missing = noise(kBlock + 100, 2);
  const std::string corrupt = noise(2000, 3);
  const std::string shortened = noise(3000, 4);
  const std::string gap_first = noise(kBlock, 5);
  const std::string gap_last = noise(kBlock, 6);
  run.add_dir("C:", 315561600, 315561600);
  run.add_dir("C:\\Data", 1'600'000'000, 1'600'000'000);
  run.add_file("C:\\Data\\good.txt", good, 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\Data\\missing.bin", missing, 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\Data\\corrupt.bin", corrupt, 1'500'000'000, 1'500'000'000);
  run.add_file("C:\\Data\\short.bin", shortened, 1'500'000'000, 1'500'000'000);
  uint32_t gap = run.add_file_row("C:\\Data\\gap.bin", 3 * kBlock, 1'500'000'000);
  run.add_block_row(gap, gap_first, 0);
  run.add_block_row(gap, gap_last, 2 * kBlock);
  run.add_file_row("C:\\Data\\unread.bin", 10, 1'500'000'000);  // a file the client could not open
  std::string catalog = run.finish();
  std::vector<std::string> blocks;
  for (const std::string& b : run.blocks()) {
    if (b != missing.substr(kBlock)) blocks.push_back(b);
  }
  put_run(*store, "alice", id, blocks, catalog, run, kEnd);
  std::string damaged = corrupt;
  damaged[1000] ^= 1;
  write_file(block_file(corrupt), damaged);
  write_file(block_file(shortened), shortened.substr(0, 1000));
  // An older file of a damaged file's name stays as it was.
  fs::create_directories(to + "/C/Data");
  write_file(to + "/C/Data/corrupt.bin", "older");

  Outcome r = restore(id, to);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "restored catalog " + std::to_string(id) + " to " + to +
                       ": 2 directories, 1 files, 3000 bytes, 5 problems\n");
  EXPECT_EQ(r.err,
            "corvio-server: C:\\Data\\missing.bin: not restored: block at offset 1048576 (" +
                md5_hex_of(missing.substr(kBlock)) +
                ", 100 bytes): missing from the store\n"
                "corvio-server: C:\\Data\\corrupt.bin: not restored: block at offset 0 (" +
                md5_hex_of(corrupt) +
                ", 2000 bytes): MD5 mismatch\n"
                "corvio-server: C:\\Data\\short.bin: not restored: block at offset 0 (" +
                md5_hex_of(shortened) +
                ", 3000 bytes): 1000 bytes instead of 3000\n"
                "corvio-server: C:\\Data\\gap.bin: not restored: no block covers bytes 1048576 "
                "to 2097151\n"
                "corvio-server: C:\\Data\\unread.bin: not restored: its blocks make 0 bytes, its "
                "size is 10\n");
  EXPECT_EQ(tree(to),
            (std::set<std::string>{"C/", "C/Data/", "C/Data/good.txt", "C/Data/corrupt.bin"}));
  EXPECT_EQ(read_file(to + "/C/Data/good.txt"), good);
  EXPECT_EQ(read_file(to + "/C/Data/corrupt.bin"), "older");

  Outcome v = verify();
  EXPECT_EQ(v.status, 1);
  const std::string c = "corvio-server: catalog " + std::to_string(id) + ": C:\\Data\\";
  // The damaged blocks are taken out of the store, naming the runs that use them.
  const std::string out =
      ": moved to quarantine/, no longer held; used by catalogs " + std::to_string(id) + "\n";
  EXPECT_EQ(v.err, c + "missing.bin: block at offset 1048576 (" +
                       md5_hex_of(missing.substr(kBlock)) +
                       ", 100 bytes): missing from the store\n" + "corvio-server: block (" +
                       md5_hex_of(corrupt) + ", 2000 bytes): MD5 mismatch" + out + c +
                       "corrupt.bin: block at offset 0 (" + md5_hex_of(corrupt) +
                       ", 2000 bytes): MD5 mismatch\n" + "corvio-server: block (" +
                       md5_hex_of(shortened) + ", 3000 bytes): 1000 bytes instead of 3000" + out +
                       c + "short.bin: block at offset 0 (" + md5_hex_of(shortened) +
                       ", 3000 bytes): 1000 bytes instead of 3000\n" + c +
                       "gap.bin: no block covers bytes 1048576 to 2097151\n" + c +
                       "unread.bin: its blocks make 0 bytes, its size is 10\n");
  // good 1, missing 2, corrupt 1, short 1, gap 2, and the catalog.
  EXPECT_EQ(v.out, "verified 1 catalogs, 6 files, 8 blocks: 7 problems\n");
}

// Restoring into a live tree, as in place: directories made get their sticky and set-group-id
// bits as recorded, directories that were there keep their mode whatever the catalog says, and
// no file becomes set-user-id.
TEST_F(RestoreTest, DirectoryModesAreKeptWholeAndExistingDirectoriesAreLeftAsTheyWere) {
  uint32_t id = new_catalog();
  RunBuilder run(false, id);
  run.add_dir("/", 1'600'000'000, 1'600'000'000, 040755);
  run.add_dir("/tmp", 1'600'000'000, 1'600'000'000, 041777);
  run.add_dir("/team", 1'600'000'000, 1'600'000'000, 042770);
  run.add_dir("/team/inbox", 1'600'000'000, 1'600'000'000, 043730);
  run.add_dir("/live", 1'600'000'000, 1'600'000'000, 040700);
  run.add_dir("/closed", 1'600'000'000, 1'600'000'000, 040777);
  run.add_file("/tmp/a.txt", "a", 1'500'000'000, 1'500'000'000, 0100640);
  run.add_file("/team/tool", "#!", 1'500'000'000, 1'500'000'000, 0106755);
  std::string catalog = run.finish();
  put_run(*store, "alice", id, run.blocks(), catalog, run, kEnd);
  fs::create_directories(to + "/live");
  fs::create_directories(to + "/closed");
  fs::permissions(to + "/live", static_cast<fs::perms>(01777));
  fs::permissions(to + "/closed", static_cast<fs::perms>(0700));

  Outcome r = restore(id, to);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::pair<const char*, unsigned> expected[] = {
      {"/tmp", 01777},   {"/team", 02770},     {"/team/inbox", 03730}, {"/live", 01777},
      {"/closed", 0700}, {"/tmp/a.txt", 0640}, {"/team/tool", 0755},
  };
  for (const auto& [path, mode] : expected) {
    EXPECT_EQ(permissions_of(to + path), mode) << path;
  }
}

TEST_F(RestoreTest, PathFilterRestoresOnlyWhatIsAtOrBelowIt) {
  uint32_t posix = new_catalog();
  RunBuilder p(false, posix);
  p.add_dir("/", 1'600'000'000, 1'600'000'000, 040755);
  p.add_dir("/home", 1'600'000'000, 1'600'000'000, 040755);
  p.add_dir("/home/alice", 1'600'000'000, 1'600'000'000, 040755);
  p.add_dir("/home/alice/docs", 1'600'000'100, 1'600'000'100, 040755);
  p.add_file("/home/alice/docs/a.txt", "a", 1'500'000'000, 1'500'000'000, 0100644);
  p.add_file("/home/alice/b.txt", "bb", 1'500'000'000, 1'500'000'000, 0100644);
  p.add_file("/home/alicia.txt", "ccc", 1'500'000'000, 1'500'000'000, 0100644);
  p.add_file("/etc/d.conf", "dddd", 1'500'000'000, 1'500'000'000, 0100644);
  std::string pc = p.finish();
  put_run(*store, "alice", posix, p.blocks(), pc, p, kEnd);

  Outcome r = restore(posix, dir.file("docs"), {"--path", "/home/alice/docs"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "restored catalog " + std::to_string(posix) + " to " + dir.file("docs") +
                       ": 1 directories, 1 files, 1 bytes, 0 problems\n");
  EXPECT_EQ(times_of(dir.file("docs/home/alice/docs")), (Times{1'600'000'100, 1'600'000'100}));
  EXPECT_EQ(
      tree(dir.file("docs")),
      (std::set<std::string>{"home/", "home/alice/", "home/alice/docs/", "home/alice/docs/a.txt"}));

  r = restore(posix, dir.file("alice"), {"--path=/home/alice/"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(tree(dir.file("alice")),
            (std::set<std::string>{"home/", "home/alice/", "home/alice/docs/",
                                   "home/alice/docs/a.txt", "home/alice/b.txt"}));

  r = restore(posix, dir.file("one"), {"--path", "/home/alice/b.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(tree(dir.file("one")),
            (std::set<std::string>{"home/", "home/alice/", "home/alice/b.txt"}));

  r = restore(posix, dir.file("none"), {"--path", "/home/ali"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "corvio-server: catalog " + std::to_string(posix) +
                       " holds nothing at or below /home/ali\n");
  EXPECT_EQ(tree(dir.file("none")), std::set<std::string>{});

  uint32_t windows = new_catalog();
  RunBuilder w(true, windows);
  w.add_dir("C:", 315561600, 315561600);
  w.add_dir("C:\\Data", 1'600'000'000, 1'600'000'000);
  w.add_dir("C:\\Data\\Sub", 1'600'000'000, 1'600'000'000);
  w.add_file("C:\\Data\\Sub\\x.txt", "x", 1'500'000'000, 1'500'000'000);
  w.add_file("C:\\Data\\y.txt", "y", 1'500'000'000, 1'500'000'000);
  std::string wc = w.finish();
  put_run(*store, "alice", windows, w.blocks(), wc, w, kEnd);
  // Windows paths match without regard to letter case, as the client treats them.
  r = restore(windows, dir.file("sub"), {"--path", "c:\\data\\SUB"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(tree(dir.file("sub")),
            (std::set<std::string>{"C/", "C/Data/", "C/Data/Sub/", "C/Data/Sub/x.txt"}));
}

TEST_F(RestoreTest, CatalogsListsEveryRunAndUnfinishedRunsAreNotRestored) {
  uint32_t work = 0;
  ASSERT_TRUE(store->add_login("bob", "pw", &error)) << error;
  ASSERT_TRUE(store->add_profile("bob", "work", &work, &error)) << error;
  uint32_t first = new_catalog();
  RunBuilder a(true, first);
  a.add_dir("C:", 315561600, 315561600);
  a.add_file("C:\\a.txt", "hello", 1'500'000'000, 1'500'000'000);
  std::string ac = a.finish();
  put_run(*store, "alice", first, a.blocks(), ac, a, kEnd);
  uint32_t unfinished = new_catalog();
  uint32_t third = new_catalog("bob", work);
  RunBuilder b(false, third);
  b.add_file("/srv/b.txt", "bob's", 1'500'000'000, 1'500'000'000, 0100644);
  std::string bc = b.finish();
  put_run(*store, "bob", third, b.blocks(), bc, b, kEnd + 60);

  const std::string first_line = std::to_string(first) +
                                 " alice home 2023-11-14T22:21:40Z files=1 directories=1"
                                 " bytes_total=" +
                                 std::to_string(5 + ac.size()) +
                                 " bytes_stored=5 bytes_compressed=2\n";
  const std::string third_line = std::to_string(third) +
                                 " bob work 2023-11-14T22:22:40Z files=1 directories=0"
                                 " bytes_total=" +
                                 std::to_string(5 + bc.size()) +
                                 " bytes_stored=5 bytes_compressed=2\n";
  Outcome list = command({"catalogs", "--store", store_dir});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            first_line + std::to_string(unfinished) + " alice home unfinished\n" + third_line);
  EXPECT_EQ(command({"catalogs", "--store", store_dir, "--login", "bob"}).out, third_line);
  list = command({"catalogs", "--store", store_dir, "--login", "nobody"});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "");

  Outcome r = restore(unfinished, to);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "corvio-server: catalog " + std::to_string(unfinished) +
                       " is unfinished: the store has no end-of-run record for it\n");
  EXPECT_FALSE(fs::exists(to));
  r = restore(99, to);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "corvio-server: the store has no catalog 99\n");

  Outcome v = verify();
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out,
            "verified 2 catalogs, 2 files, 4 blocks: 0 problems"
            " (1 unfinished catalogs not checked)\n");
  v = verify({"--catalog", std::to_string(unfinished)});
  EXPECT_EQ(v.status, 1);
  EXPECT_EQ(v.err, "corvio-server: catalog " + std::to_string(unfinished) +
                       " is unfinished: the store has no end-of-run record for it\n");
  EXPECT_EQ(v.out, "verified 0 catalogs, 0 files, 0 blocks: 1 problems\n");
}

TEST_F(RestoreTest, DamagedCatalogBlockIsReported) {
  uint32_t id = new_catalog();
  RunBuilder run(true, id);
  run.add_file("C:\\a.txt", "hello", 1'500'000'000, 1'500'000'000);
  std::string catalog = run.finish();
  put_run(*store, "alice", id, run.blocks(), catalog, run, kEnd);
  std::string damaged = catalog;
  damaged[100] ^= 0x40;
  write_file(block_file(catalog), damaged);
  const std::string why = "corvio-server: catalog " + std::to_string(id) + ": catalog block (" +
                          md5_hex_of(catalog) + ", " + std::to_string(catalog.size()) +
                          " bytes): MD5 mismatch\n";
  Outcome r = restore(id, to);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, why);
  EXPECT_FALSE(fs::exists(to));
  Outcome v = verify();
  EXPECT_EQ(v.status, 1);
  EXPECT_EQ(v.err, why);
  EXPECT_EQ(v.out, "verified 1 catalogs, 0 files, 1 blocks: 1 problems\n");

  // A run whose catalog block is intact but not a catalog.
  uint32_t other = new_catalog();
  RunBuilder empty(true, other);
  empty.finish();
  put_run(*store, "alice", other, {}, "not a database at all", empty, kEnd);
  r = restore(other, to);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("catalog " + std::to_string(other) + ": catalog block (" +
                       md5_hex_of("not a database at all") + ", 21 bytes): not a readable catalog"),
            std::string::npos)
      << r.err;
}

TEST_F(RestoreTest, BadCommandLinesAreRefusedWithStatusTwo) {
  const std::string n = "1";
  struct Case {
    std::vector<std::string> args;
    std::string complaint;
  };
  const Case cases[] = {
      {{"restore", "--store", store_dir, "--catalog", n}, "restore needs --to DIR"},
      {{"restore", "--store", store_dir, "--to", to}, "restore needs --catalog N"},
      {{"restore", "--store", store_dir, "--catalog", "x1", "--to", to},
       "--catalog takes a catalog number, not x1"},
      {{"restore", "--store", store_dir, "--catalog", "4294967296", "--to", to},
       "--catalog takes a catalog number, not 4294967296"},
      {{"restore", "--store", store_dir, "--catalog", n, "--to", to, "--path", "C:\\a\\..\\b"},
       "--path C:\\a\\..\\b: the path has a \"..\" component"},
      {{"restore", "--store", store_dir, "--catalog", n, "--to", to, "--to", to},
       "--to given twice"},
      {{"restore", "--store", store_dir, "--catalog", n, "--to", to, "extra"},
       "restore takes no arguments"},
      {{"restore", "--store", store_dir, "--catalog", n, "--to", to, "--login", "x"},
       "unknown option --login for restore"},
      {{"verify", "--store", store_dir, "--catalog", "-1"},
       "--catalog takes a catalog number, not -1"},
      {{"catalogs"}, "--store DIR is required"},
  };
  for (const Case& c : cases) {
    Outcome o = command(c.args);
    EXPECT_EQ(o.status, 2) << c.complaint;
    EXPECT_EQ(o.err.substr(0, o.err.find('\n')), "corvio-server: " + c.complaint);
  }
  Outcome o = command({"verify", "--store", dir.file("nothing")});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "corvio-server: " + dir.file("nothing") +
                       " is not a store (run: corvio-server init --store " + dir.file("nothing") +
                       ")\n");
  EXPECT_FALSE(fs::exists(dir.file("nothing")));
}

namespace kill {

// A client of a served store, one request and its reply at a time.
class Uploader {
 public:
  Uploader(int port, const std::string& ca) : client_(port, ca) {}

  bool login() { return client_.ok() && client_.greet_and_login("alice", "secret") == 0; }
  std::string exchange(const std::string& message) {
    EXPECT_TRUE(client_.send(message));
    return client_.recv().value_or("<no reply>");
  }
  uint32_t begin_run() {
    std::string profile = exchange(profile_get("home"));
    std::string alloc = exchange(catalog_alloc(profile.size() >= 6 ? u32_at(profile, 2) : 0));
    return alloc.size() >= 7 && alloc[2] == 0 ? u32_at(alloc, 3) : 0;
  }
  // Uploads a block that is not held yet and references it; false on any other reply.
  bool store(const std::string& block, uint32_t catalog_id) {
    uint32_t length = static_cast<uint32_t>(block.size());
    if (exchange(seg_store(md5(block), length, false, length)) !=
        std::string("\x80\x11\0\0\0\0\0", 7))
      return false;
    for (size_t at = 0; at < block.size(); at += 4096) {
      if (!client_.send(seg_data(std::string_view(block).substr(at, 4096)))) return false;
    }
    return client_.recv().value_or("").substr(0, 2) == "\x80\x13" &&
           exchange(seg_ref(md5(block), catalog_id)) == std::string("\x80\x1f\x00", 3);
  }
  bool held(const std::string& block) {
    return exchange(seg_query(md5(block), static_cast<uint32_t>(block.size()))) ==
           std::string("\x80\x01\xff", 3);
  }
  TestClient& client() { return client_; }

 private:
  TestClient client_;
};

}  // namespace kill

// The server keeps no block in memory and syncs at the end of each run: killed in the middle of
// a run and started again on the same store, it has every finished run whole and every block it
// acknowledged, and after losing block files (as a crash of the machine may, for blocks written
// since the last run ended) it lists only the blocks it holds.
TEST_F(RestoreTest, AKilledServerKeepsItsFinishedRunsAndListsOnlyBlocksItHolds) {
  ASSERT_EQ(run_server_command({"init", "--store", store_dir, "--self-signed", "127.0.0.1"}, ""),
            0);
  const std::string ca = store_dir + "/ca.pem";
  auto server = std::make_unique<ServerProcess>(
      std::vector<std::string>{"--store", store_dir, "--listen", "127.0.0.1:0"});
  ASSERT_NE(server->port(), 0) << server->error_output();
  kill::Uploader first(server->port(), ca);
  ASSERT_TRUE(first.login());
  uint32_t done = first.begin_run();
  ASSERT_NE(done, 0u);
  const std::string notes = text(kBlock + 5000, 11);
  RunBuilder run(false, done);
  run.add_dir("/", 1'600'000'000, 1'600'000'000, 040755);
  run.add_file("/notes.txt", notes, 1'500'000'000, 1'500'000'001, 0100644);
  std::string catalog = run.finish();
  for (const std::string& block : run.blocks()) ASSERT_TRUE(first.store(block, done));
  ASSERT_TRUE(first.store(catalog, done));
  ASSERT_EQ(first.exchange(catalog_finish(done, md5(catalog), catalog.size(), 1)).substr(0, 3),
            std::string("\x02\x24\x00", 3));

  // The next run: three blocks acknowledged, a fourth cut off by the kill.
  kill::Uploader second(server->port(), ca);
  ASSERT_TRUE(second.login());
  uint32_t unfinished = second.begin_run();
  const std::string kept = text(300000, 12), lost = text(200000, 13), cut = noise(150000, 14);
  for (const std::string* block : {&kept, &lost, &cut})
    ASSERT_TRUE(second.store(*block, unfinished));
  const std::string partial = noise(100000, 15);
  ASSERT_EQ(second.exchange(seg_store(md5(partial), 100000, false, 100000)).substr(0, 2),
            "\x80\x11");
  ASSERT_TRUE(second.client().send(seg_data(std::string_view(partial).substr(0, 4096))));
  ASSERT_TRUE(server->kill_now());

  // What a crash of the machine may leave of blocks written since the last run ended: a file
  // gone, and one of the right length whose bytes did not all reach the disk.
  fs::remove(block_file(lost));
  std::string garbled = cut;
  std::fill(garbled.begin() + 4096, garbled.begin() + 8192, '\0');
  write_file(block_file(cut), garbled);
  server = std::make_unique<ServerProcess>(
      std::vector<std::string>{"--store", store_dir, "--listen", "127.0.0.1:0"});
  ASSERT_NE(server->port(), 0) << server->error_output();
  EXPECT_NE(server->error_output().find("corvio-server: 2 blocks written since the last sync were "
                                        "missing or damaged after an unclean stop"),
            std::string::npos)
      << server->error_output();
  kill::Uploader after(server->port(), ca);
  ASSERT_TRUE(after.login());
  for (const std::string& block : run.blocks()) EXPECT_TRUE(after.held(block));
  EXPECT_TRUE(after.held(catalog));
  EXPECT_TRUE(after.held(kept));
  EXPECT_FALSE(after.held(lost));
  EXPECT_FALSE(after.held(cut));
  EXPECT_FALSE(after.held(partial));
  EXPECT_TRUE(after.store(lost, unfinished));  // a client sends it again
  EXPECT_EQ(server->terminate(), 0);
  EXPECT_TRUE(read_file(store_dir + "/quarantine/" +
                        fs::path(block_file(cut)).filename().string()) == garbled);

  // Every block the index lists is there, of its length and digest.
  db::Database db;
  ASSERT_EQ(db.open(store_dir + "/store.db"), SQLITE_OK);
  db::Statement rows = db.prepare("select md5, length from blocks");
  int listed = 0;
  while (rows.step() == SQLITE_ROW) {
    BlockKey key;
    std::string digest;
    ASSERT_TRUE(from_hex(rows.column_text(0), &digest));
    std::copy(digest.begin(), digest.end(), key.md5.begin());
    key.length = static_cast<uint32_t>(rows.column_int64(1));
    std::string why;
    EXPECT_EQ(read_stored_block(store->block_path(key), key, nullptr, &why), BlockRead::kOk)
        << key.md5_hex() << ": " << why;
    ++listed;
  }
  EXPECT_EQ(listed, 1 + static_cast<int>(run.blocks().size()) + 1 + 2);  // the empty block too

  Outcome v = verify();
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out,
            "verified 1 catalogs, 1 files, 3 blocks: 0 problems (1 unfinished catalogs not "
            "checked)\n");
  Outcome r = restore(done, to);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(to + "/notes.txt") == notes);
}

// Catalogs a client crafted: the server refuses to end a run with one it could not read
// safely, and restore and verify, meeting such catalogs in a store all the same, report them
// without running their code or stalling, and verify goes on with the other runs.
TEST_F(RestoreTest, CraftedCatalogsAreRefusedAndCannotStallVerifyOrRestore) {
  ASSERT_EQ(run_server_command({"init", "--store", store_dir, "--self-signed", "127.0.0.1"}, ""),
            0);
  ServerProcess server({"--store", store_dir, "--listen", "127.0.0.1:0"});
  ASSERT_NE(server.port(), 0) << server.error_output();
  kill::Uploader client(server.port(), store_dir + "/ca.pem");
  ASSERT_TRUE(client.login());

  struct Case {
    std::string sql;
    std::string why;  // empty: the schema is a catalog's
  };
  const Case cases[] = {
      {"drop table filespec; create view filespec as with recursive r(n) as (select 1 union all"
       " select n + 1 from r) select n as id, '/f' || n as filename_full, 2 as type, 0 as mode,"
       " 0 as size, 0 as t_access, 0 as t_modify from r",
       "not a catalog: it has a view \"filespec\""},
      {"create trigger t after insert on segs begin select 1; end",
       "not a catalog: it has a trigger \"t\""},
      {"drop table segs; create virtual table segs using fts5(filespec_id, offset, size, md5)",
       "not a catalog: it has a virtual table \"segs\""},
      {"alter table segs rename column md5 to digest",
       "not a catalog: its table segs does not have a catalog's columns"},
      {"create table notes (x)",
       "not a catalog: it has a table \"notes\" that catalogs do not have"},
      // Tables only, but without the index that finds a file's blocks: every lookup reads all
      // 20,000 block rows.
      {"drop index segs_filespec_offset; drop index segs_md5;"
       " insert into filespec (parent_id, filename, filename_full, type, attr, mode, owner,"
       " _group, size, t_access, t_change, t_modify, t_backup_start, t_backup_end, blocksize,"
       " extra) with recursive r(n) as (select 1 union all select n + 1 from r where n < 20000)"
       " select 0, 'f' || n, '/f' || n, 2, 32, 33188, 0, 0, 1, 0, 0, 0, 0, 0, 0, '' from r;"
       " insert into segs (filespec_id, offset, size, md5) select id, 0, 1, '" +
           md5_hex_of("x") + "' from filespec",
       ""},
  };
  ASSERT_TRUE(client.store("x", client.begin_run()));
  std::vector<std::pair<uint32_t, std::string>> runs;  // catalog number, catalog
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string catalog = catalog_with(c.sql);
    const uint32_t id = client.begin_run();
    ASSERT_TRUE(client.store(catalog, id));
    const char status = c.why.empty() ? '\0' : '\x01';
    EXPECT_EQ(client.exchange(catalog_finish(id, md5(catalog), catalog.size(), 0)),
              std::string("\x02\x24", 2) + status);
    runs.emplace_back(id, catalog);
  }
  EXPECT_EQ(server.terminate(), 0);
  const std::string log = server.error_output();
  for (size_t i = 0; i + 1 < runs.size(); ++i) {
    const auto& [id, catalog] = runs[i];
    EXPECT_NE(log.find(": end of run refused: " +
                       quote_for_log("catalog " + std::to_string(id) + ": catalog block (" +
                                     md5_hex_of(catalog) + ", " + std::to_string(catalog.size()) +
                                     " bytes): " + cases[i].why) +
                       "\n"),
              std::string::npos)
        << log;
  }
  // Refused runs stay unfinished.
  const std::string listed = "\n" + command({"catalogs", "--store", store_dir}).out;
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(listed.find("\n" + std::to_string(runs[i].first) + " alice home unfinished\n") !=
                  std::string::npos,
              !cases[i].why.empty())
        << listed;
  }

  // A store may hold such runs all the same (an older server took them): verify reports each
  // and goes on with the others, restore refuses them, and neither runs for long.
  for (size_t i = 0; i + 1 < runs.size(); ++i) {
    RunRecord record;
    record.catalog_id = runs[i].first;
    record.catalog_key = md5_of(runs[i].second);
    record.catalog_size = runs[i].second.size();
    ASSERT_EQ(store->finish_run("alice", record, kEnd), FinishResult::kRecorded);
  }
  const uint32_t good = new_catalog();
  RunBuilder run(false, good);
  run.add_file("/a.txt", "fine", 1'500'000'000, 1'500'000'000, 0100644);
  std::string catalog = run.finish();
  put_run(*store, "alice", good, run.blocks(), catalog, run, kEnd);

  Outcome v = verify();
  EXPECT_EQ(v.status, 1);
  for (size_t i = 0; i + 1 < runs.size(); ++i) {
    const auto& [id, bytes] = runs[i];
    EXPECT_NE(v.err.find("corvio-server: catalog " + std::to_string(id) + ": catalog block (" +
                         md5_hex_of(bytes) + ", " + std::to_string(bytes.size()) +
                         " bytes): " + cases[i].why + "\n"),
              std::string::npos)
        << v.err;
  }
  const std::string too_much =
      "cannot read the catalog: reading it takes more work than a file of its size can need";
  const std::string slow = "catalog " + std::to_string(runs.back().first) + ": ";
  EXPECT_NE(v.err.find("corvio-server: " + slow + too_much), std::string::npos) << v.err;
  EXPECT_EQ(v.err.find("catalog " + std::to_string(good) + ":"), std::string::npos) << v.err;
  // 5 refused catalogs; the slow one where a file's blocks and then the catalog stopped.
  EXPECT_EQ(v.out.substr(0, 21), "verified 7 catalogs, ") << v.out;
  EXPECT_NE(v.out.find(": 7 problems (1 unfinished catalogs not checked)\n"), std::string::npos)
      << v.out;
  EXPECT_EQ(verify({"--catalog", std::to_string(good)}).status, 0);

  Outcome r = restore(runs.front().first, to);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "corvio-server: catalog " + std::to_string(runs.front().first) +
                       ": catalog block (" + md5_hex_of(runs.front().second) + ", " +
                       std::to_string(runs.front().second.size()) + " bytes): " + cases[0].why +
                       "\n");
  r = restore(runs.back().first, dir.file("slow"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("corvio-server: " + slow + too_much), std::string::npos) << r.err;
}

// A flipped byte in a block file: verify takes the block out of the store, naming the runs that
// use it, so the next run's reference to it is refused and the block is uploaded again; the new
// run restores byte for byte. A served store finds such a block by itself, reading its blocks
// in the background.
TEST_F(RestoreTest, ADamagedBlockIsTakenOutAndUploadedAgain) {
  const std::string a = noise(300000, 21), b = noise(200000, 22);
  std::vector<uint32_t> users;
  for (int i = 0; i < 2; ++i) {
    uint32_t id = new_catalog();
    RunBuilder run(false, id);
    run.add_file("/a.bin", a, 1'500'000'000, 1'500'000'000, 0100644);
    if (i == 0) run.add_file("/b.bin", b, 1'500'000'000, 1'500'000'000, 0100644);
    std::string catalog = run.finish();
    put_run(*store, "alice", id, run.blocks(), catalog, run, kEnd);
    users.push_back(id);
  }
  std::string flipped = a;
  flipped[1234] ^= 0x10;
  write_file(block_file(a), flipped);
  const std::string name = fs::path(block_file(a)).filename().string();

  Outcome v = verify();
  EXPECT_EQ(v.status, 1);
  EXPECT_EQ(v.err.substr(0, v.err.find('\n') + 1),
            "corvio-server: block (" + md5_hex_of(a) +
                ", 300000 bytes): MD5 mismatch: moved to quarantine/, no longer held; used by "
                "catalogs " +
                std::to_string(users[0]) + ", " + std::to_string(users[1]) + "\n");
  EXPECT_FALSE(fs::exists(block_file(a)));
  EXPECT_TRUE(read_file(store_dir + "/quarantine/" + name) == flipped);
  // Both runs that use it are listed as damaged.
  auto damaged = [&](uint32_t id) {
    std::string list = command({"catalogs", "--store", store_dir}).out;
    return list.find(" damaged: 1 blocks missing (corvio-server verify --catalog " +
                     std::to_string(id) + " names the files)\n") != std::string::npos;
  };
  EXPECT_TRUE(damaged(users[0]));
  EXPECT_TRUE(damaged(users[1]));
  // Known damaged now, and no longer taken out again.
  v = verify();
  EXPECT_EQ(v.err.find("moved to quarantine"), std::string::npos) << v.err;
  EXPECT_NE(v.err.find("missing from the store"), std::string::npos) << v.err;

  ASSERT_EQ(run_server_command({"init", "--store", store_dir, "--self-signed", "127.0.0.1"}, ""),
            0);
  auto server = std::make_unique<ServerProcess>(std::vector<std::string>{
      "--store", store_dir, "--listen", "127.0.0.1:0", "--scrub-rate", "100M"});
  ASSERT_NE(server->port(), 0) << server->error_output();
  kill::Uploader client(server->port(), store_dir + "/ca.pem");
  ASSERT_TRUE(client.login());
  const uint32_t again = client.begin_run();
  EXPECT_EQ(client.exchange(seg_ref(md5(a), again)), std::string("\x80\x1f\x01", 3));
  ASSERT_TRUE(client.store(a, again));
  RunBuilder run(false, again);
  run.add_file("/a.bin", a, 1'500'000'000, 1'500'000'000, 0100644);
  std::string catalog = run.finish();
  ASSERT_TRUE(client.store(catalog, again));
  ASSERT_EQ(client.exchange(catalog_finish(again, md5(catalog), catalog.size(), 1)),
            std::string("\x02\x24\x00", 3));
  Outcome r = restore(again, to);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(to + "/a.bin") == a);

  // The scrub of the served store finds a block damaged while it runs.
  std::string cut = b.substr(0, 1000);
  write_file(block_file(b), cut);
  const std::string found = "scrub: block (" + md5_hex_of(b) +
                            ", 200000 bytes): 1000 bytes instead of 200000: moved to quarantine/,"
                            " no longer held; used by catalogs " +
                            std::to_string(users[0]) + "\n";
  for (int i = 0; i < 100 && server->error_output().find(found) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(server->error_output().find(found), std::string::npos) << server->error_output();
  EXPECT_FALSE(client.held(b));
  EXPECT_TRUE(client.held(a));
  // Whole again where the block came back: only the run using b is still damaged.
  EXPECT_TRUE(damaged(users[0]));
  EXPECT_FALSE(damaged(users[1]));
  EXPECT_FALSE(damaged(again));
}

}  // namespace
}  // namespace corvio::server::test
