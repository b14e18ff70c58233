#include "platform/terminal.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace corvio {
namespace {

TEST(HiddenInputTest, TurnsTheEchoOfATerminalOffForItsLifetimeAndLeavesPipesAlone) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  std::FILE* in = fdopen(slave, "r");
  ASSERT_NE(in, nullptr);
  auto echo = [&] {
    termios t{};
    EXPECT_EQ(tcgetattr(slave, &t), 0);
    return (t.c_lflag & ECHO) != 0;
  };
  ASSERT_TRUE(echo());
  {
    HiddenInput hidden(in);
    EXPECT_TRUE(hidden.is_terminal());
    EXPECT_FALSE(echo());
  }
  EXPECT_TRUE(echo());
  std::fclose(in);
  close(master);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* piped = fdopen(fds[0], "r");
  EXPECT_FALSE(HiddenInput(piped).is_terminal());
  std::fclose(piped);
  close(fds[1]);
}

}  // namespace
}  // namespace corvio
