// SPDX-License-Identifier: Apache-2.0
// The contract of the files whose permissions or line ends matter, built for every platform.
#include "platform/file_modes.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text_file.h"
#include "support/temp_dir.h"

namespace corvio {
namespace {

TEST(FileModesContract, OwnerOnlyFilesAreNewAndKeptFromOthers) {
  test::TempDir dir;
  const std::string path = dir.file("p.cfg");
  std::string error;
  ASSERT_TRUE(create_owner_only_file(path, &error)) << error;
  EXPECT_EQ(real_file_system().find(path)->size, 0u);
  EXPECT_FALSE(accessible_by_others(path));
  EXPECT_FALSE(create_owner_only_file(path, &error));  // never an existing file
  EXPECT_NE(error.find(path), std::string::npos) << error;
  test::write_file(path, "secret");  // writable by its owner

  test::write_file(dir.file("old.bak"), "x");
  EXPECT_TRUE(restrict_to_owner(dir.file("old.bak")));
  EXPECT_EQ(test::read_file(dir.file("old.bak")), "x");
  EXPECT_FALSE(restrict_to_owner(dir.file("missing")));
}

TEST(FileModesContract, PublicFilesAreReplacedWholeOrNotAtAll) {
  test::TempDir dir;
  const std::string path = dir.file("trusted-ca.pem");
  std::string error;
  ASSERT_TRUE(replace_public_file(path, "first", &error)) << error;
  ASSERT_TRUE(replace_public_file(path, "second", &error)) << error;
  EXPECT_EQ(test::read_file(path), "second");
  EXPECT_FALSE(real_file_system().exists(path + ".new"));
  EXPECT_FALSE(replace_public_file(dir.file("missing/ca.pem"), "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::read_file(path), "second");
}

TEST(TextFileContract, LineEndsAreCarriageReturnAndLineFeed) {
  test::TempDir dir;
  {
    FileHandle f = open_crlf_text_file(dir.file("run.log"));
    ASSERT_TRUE(f);
    std::fputs("one\ntwo\n\nend", f.get());
  }
  EXPECT_EQ(test::read_file(dir.file("run.log")), "one\r\ntwo\r\n\r\nend");
  EXPECT_FALSE(open_crlf_text_file(dir.file("missing/run.log")));
}

}  // namespace
}  // namespace corvio
