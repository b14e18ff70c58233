// SPDX-License-Identifier: Apache-2.0
// The walk and the block loop under the Windows path style, over a test file system that maps
// C:\ onto a folder: drive letters, backslashes, letter case that does not count.
#include <filesystem>

#include "engine_fixture.h"
#include "support/sql_rows.h"

namespace corvio::test {
namespace {

namespace fs = std::filesystem;

class WindowsStyleTest : public EngineFixture {
 protected:
  WindowsStyleTest() : EngineFixture(true) {}
  std::string on_drive(const std::string& rel) const { return dir.file("drive/" + rel); }
};

TEST_F(WindowsStyleTest, LogsAndRecordsDrivePathsExactly) {
  fs::create_directories(on_drive("Data/Big"));
  fs::create_directories(on_drive("Data/Temp"));
  fs::create_directories(on_drive("Other"));
  write_file(on_drive("Data/a.txt"), "alpha");
  write_file(on_drive("Data/Big/x"), "x");
  write_file(on_drive("Data/Bigger.txt"), "bigger");
  write_file(on_drive("Data/Temp/t"), "t");
  write_file(on_drive("Data/Temporary"), "kept");
  write_file(on_drive("Data/w.tmp"), "w");
  write_file(on_drive("Data/two.bin"), pattern(1048577, 9));
  write_file(on_drive("Other/one.txt"), "one");
  profile.include_rules = {"c:\\Data\\", "c:\\Other\\one.txt", "c:\\Missing"};
  profile.exclude_rules = {"c:\\data\\big", "*.TMP", "C:\\DATA\\TEMP\\"};
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  const std::string log = log_text();
  const size_t body = log.find("Commencing backup..\n\n") + 21;
  const size_t end = log.find("\nPreparing catalog");
  EXPECT_EQ(log.substr(body, end - body),
            "C:\\Data : 0 : Dir ()\n"
            "C:\\Data\\a.txt : 5 : File (A)  upload... OK\n"
            "Excluding: C:\\Data\\Big\n"
            "Excluding: C:\\Data\\Bigger.txt\n"
            "C:\\Data\\Temp : 0 : Dir ()\n"
            "Excluding files in this directory.\n"
            "C:\\Data\\Temporary : 4 : File (A)  upload... OK\n"
            "C:\\Data\\two.bin : 1048577 : File (A) (1/2)  upload... OK\n"
            "(2/2)  upload... OK\n"
            "Excluding: C:\\Data\\w.tmp\n"
            "c:\\Other\\one.txt : 3 : File (A)  upload... OK\n"
            "Warning: Failed to stat directory: C:\\Missing\n"
            "c:\\Missing : Doesn't exist?\n");

  // Recorded paths carry an upper-case drive letter; the root is "C:" with its fixed times.
  const std::string cat = session.catalog_path;
  EXPECT_EQ(sql_rows(cat, "select filename_full, type from filespec order by id"),
            (std::vector<SqlRow>{{"C:", "1"},
                                 {"C:\\Data", "1"},
                                 {"C:\\Data\\a.txt", "2"},
                                 {"C:\\Data\\Temp", "1"},
                                 {"C:\\Data\\Temporary", "2"},
                                 {"C:\\Data\\two.bin", "2"},
                                 {"C:\\Other", "1"},
                                 {"C:\\Other\\one.txt", "2"}}));
  EXPECT_EQ(sql_rows(cat, "select t_access, t_change, t_modify from filespec where id=1"),
            (std::vector<SqlRow>{{"315561600", "315561600", "315561600"}}));
  // C: once per rule, C:\Data twice (ancestor and walk), C:\Data\Temp, C:\Other.
  EXPECT_EQ(session.stats.directories, 7u);
  EXPECT_EQ(session.stats.warnings, 1u);  // the missing rule's own directory

  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  auto tree = tree_of(to + "/C");
  EXPECT_EQ(tree["Data/two.bin"], pattern(1048577, 9));
  EXPECT_EQ(tree["Other/one.txt"], "one");
  EXPECT_EQ(tree.count("Data/Bigger.txt"), 0u);

  // The cache keys paths without regard to case: the same files under c:\ are replayed.
  profile.include_rules = {"c:\\data"};
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(session.stats.files_scanned, 0u);
  EXPECT_NE(log_text().find("C:\\data\\two.bin : 1048577 : File (A) skipped.\n"), std::string::npos)
      << log_text();
}

}  // namespace
}  // namespace corvio::test
