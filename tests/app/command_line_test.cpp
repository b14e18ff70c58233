// SPDX-License-Identifier: Apache-2.0
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace corvio {
namespace {

TEST(CommandLineTest, RunAndExitSwitches) {
  CommandLine c = parse_command_line("/run:daily /exitwhendone");
  EXPECT_TRUE(c.run_requested);
  EXPECT_EQ(c.run_tag, "daily");
  EXPECT_TRUE(c.exit_when_done);

  c = parse_command_line("");
  EXPECT_FALSE(c.run_requested);
  EXPECT_FALSE(c.exit_when_done);

  c = parse_command_line("/exitwhendone");
  EXPECT_FALSE(c.run_requested);
  EXPECT_TRUE(c.exit_when_done);
}

TEST(CommandLineTest, EmptyTagLaterRunWinsAndCaseCounts) {
  CommandLine c = parse_command_line("/run:");
  EXPECT_TRUE(c.run_requested);
  EXPECT_EQ(c.run_tag, "");

  c = parse_command_line("/run:first /run:second");
  EXPECT_EQ(c.run_tag, "second");

  c = parse_command_line("/RUN:daily /ExitWhenDone");
  EXPECT_FALSE(c.run_requested);
  EXPECT_FALSE(c.exit_when_done);
}

TEST(CommandLineTest, SpacesCutPiecesAndQuotesMeanNothing) {
  CommandLine c = parse_command_line("  /run:daily  /exitwhendone ");
  EXPECT_EQ(c.run_tag, "daily");
  EXPECT_TRUE(c.exit_when_done);

  c = parse_command_line("/run:\"my tag\"");
  EXPECT_EQ(c.run_tag, "\"my");
  c = parse_command_line("x/run:daily /exitwhendone2");
  EXPECT_FALSE(c.run_requested);
  EXPECT_FALSE(c.exit_when_done);
}

TEST(CommandLineTest, OnlyTheFirst1023CharactersCount) {
  std::string padding(1000, 'x');
  CommandLine c = parse_command_line(padding + " /run:" + std::string(100, 't'));
  EXPECT_TRUE(c.run_requested);
  EXPECT_EQ(c.run_tag.size(), 1023u - 1001u - 5u);
  c = parse_command_line(std::string(1023, 'x') + " /exitwhendone");
  EXPECT_FALSE(c.exit_when_done);
}

TEST(CommandLineTest, ArgumentsAreJoinedWithSingleSpaces) {
  const char* argv[] = {"corvio", "/run:a", "/exitwhendone"};
  EXPECT_EQ(join_arguments(3, argv), "/run:a /exitwhendone");
  EXPECT_EQ(join_arguments(1, argv), "");
}

}  // namespace
}  // namespace corvio
