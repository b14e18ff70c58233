// SPDX-License-Identifier: Apache-2.0
#include "platform/terminal.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "platform/console.h"

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

// A second interrupt ends the program at once; the terminal keeps its echo and line editing.
TEST(RunConsoleTest, ASecondInterruptEndsTheProcessWithTheTerminalRestored) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(slave, STDIN_FILENO);
    RunConsole console;
    termios t{};
    if (tcgetattr(STDIN_FILENO, &t) != 0 || (t.c_lflag & ECHO)) _exit(2);  // not in key mode
    raise(SIGINT);
    if (!console.interrupted()) _exit(3);
    raise(SIGINT);
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  termios t{};
  ASSERT_EQ(tcgetattr(slave, &t), 0);
  EXPECT_TRUE(t.c_lflag & ECHO);
  EXPECT_TRUE(t.c_lflag & ICANON);
  close(slave);
  close(master);
}

}  // namespace
}  // namespace corvio
