// SPDX-License-Identifier: Apache-2.0
// The readers of corvio-server's option values, the quoting of client texts in the log and
// the trace's masking of passwords.
#include "command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "log.h"
#include "support/temp_dir.h"
#include "test_client.h"
#include "trace.h"
#include "util/hex.h"

namespace corvio::server {
namespace {

using std::chrono::milliseconds;

std::string listen_error(const std::string& text) {
  ListenAddress address;
  std::string error;
  EXPECT_FALSE(parse_listen(text, &address, &error)) << text;
  return error;
}

TEST(CommandLineTest, ListenAddresses) {
  ListenAddress a;
  std::string error;
  ASSERT_TRUE(parse_listen("127.0.0.1:5000", &a, &error)) << error;
  EXPECT_EQ(a.host, "127.0.0.1");
  EXPECT_EQ(a.port, "5000");
  ASSERT_TRUE(parse_listen("[::1]:0", &a, &error)) << error;
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, "0");
  ASSERT_TRUE(parse_listen("localhost:65535", &a, &error)) << error;
  ASSERT_TRUE(parse_listen("0.0.0.0:007", &a, &error)) << error;
  EXPECT_EQ(a.port, "7");

  EXPECT_EQ(listen_error("127.0.0.1:99999"),
            "--listen 127.0.0.1:99999: the port 99999 is above 65535");
  EXPECT_EQ(listen_error("127.0.0.1:65536"),
            "--listen 127.0.0.1:65536: the port 65536 is above 65535");
  EXPECT_NE(listen_error("127.0.0.1:123456789012345678901234").find("above 65535"),
            std::string::npos);
  EXPECT_EQ(listen_error("127.0.0.1:http"),
            "--listen 127.0.0.1:http: the port http is not a number");
  EXPECT_NE(listen_error("127.0.0.1:-1").find("not a number"), std::string::npos);
  EXPECT_NE(listen_error("127.0.0.1: 80").find("not a number"), std::string::npos);
  EXPECT_NE(listen_error("127.0.0.1").find("no port"), std::string::npos);
  EXPECT_NE(listen_error("127.0.0.1:").find("no port after the colon"), std::string::npos);
  EXPECT_NE(listen_error(":5000").find("no address before the port"), std::string::npos);
  EXPECT_NE(listen_error("::1:5000").find("IPv6 address goes in brackets"), std::string::npos);
  EXPECT_NE(listen_error("[::1:5000").find("no closing bracket"), std::string::npos);
  EXPECT_NE(listen_error("[::1]5000").find("no port after the address"), std::string::npos);
  EXPECT_NE(listen_error("[]:5000").find("no address"), std::string::npos);
  EXPECT_NE(listen_error("a b:5000").find("blank"), std::string::npos);
  EXPECT_NE(listen_error("").find("no port"), std::string::npos);
}

TEST(CommandLineTest, CountsSecondsAndSizes) {
  uint64_t n = 0;
  std::string error;
  EXPECT_TRUE(parse_count("64", 1, 100000, &n, &error));
  EXPECT_EQ(n, 64u);
  EXPECT_FALSE(parse_count("0", 1, 100000, &n, &error));
  EXPECT_EQ(error, "0 is not from 1 to 100000");
  EXPECT_FALSE(parse_count("100001", 1, 100000, &n, &error));
  EXPECT_FALSE(parse_count("99999999999999999999999", 1, 100000, &n, &error));
  EXPECT_FALSE(parse_count("6x", 1, 100000, &n, &error));
  EXPECT_EQ(error, "6x is not a whole number");

  milliseconds t{};
  const milliseconds hour = std::chrono::hours(1);
  EXPECT_TRUE(parse_seconds("10", hour, &t, &error));
  EXPECT_EQ(t, milliseconds(10000));
  EXPECT_TRUE(parse_seconds("0.5", hour, &t, &error));
  EXPECT_EQ(t, milliseconds(500));
  EXPECT_TRUE(parse_seconds("1.25", hour, &t, &error));
  EXPECT_EQ(t, milliseconds(1250));
  EXPECT_TRUE(parse_seconds("3600", hour, &t, &error));
  for (const char* bad : {"0", "0.000", "3601", "1.2345", "", ".5", "1.", "-1", "ten", "1e3"}) {
    EXPECT_FALSE(parse_seconds(bad, hour, &t, &error)) << bad;
  }

  EXPECT_TRUE(parse_size("1G", 1 << 20, 0x7FFFFFFF, &n, &error));
  EXPECT_EQ(n, 1u << 30);
  EXPECT_TRUE(parse_size("3m", 1 << 20, 0x7FFFFFFF, &n, &error));
  EXPECT_EQ(n, 3u << 20);
  EXPECT_TRUE(parse_size("2147483647", 1 << 20, 0x7FFFFFFF, &n, &error));
  EXPECT_EQ(n, 0x7FFFFFFFu);
  EXPECT_TRUE(parse_size("1024K", 1 << 20, 0x7FFFFFFF, &n, &error));
  EXPECT_FALSE(parse_size("2G", 1 << 20, 0x7FFFFFFF, &n, &error));
  EXPECT_EQ(error, "2G is not from 1048576 to 2147483647 bytes");
  EXPECT_FALSE(parse_size("1023K", 1 << 20, 0x7FFFFFFF, &n, &error));
  for (const char* bad : {"", "G", "1T", "1.5G", "99999999999999999999G"}) {
    EXPECT_FALSE(parse_size(bad, 1 << 20, 0x7FFFFFFF, &n, &error)) << bad;
  }
}

TEST(CommandLineTest, ClientTextsAreQuotedOnOneLineOfPrintableAscii) {
  EXPECT_EQ(quote_for_log("alice"), "\"alice\"");
  EXPECT_EQ(quote_for_log(""), "\"\"");
  EXPECT_EQ(quote_for_log("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(quote_for_log("x\nsession 9 from 1.2.3.4:5 login root: quit"),
            "\"x\\nsession 9 from 1.2.3.4:5 login root: quit\"");
  EXPECT_EQ(quote_for_log(std::string("\r\t\0\x1b[2J\x7f\x9b\xff", 10)),
            "\"\\r\\t\\x00\\x1b[2J\\x7f\\x9b\\xff\"");
}

TEST(CommandLineTest, TraceMasksThePasswordAndIsPrivate) {
  std::string login = test::login_message("alice", "hunter2");
  std::string line = Trace::line(3, login);
  EXPECT_EQ(line.find(to_hex("hunter2")), std::string::npos) << line;
  std::string want = "3 " + to_hex(login.substr(0, 43));
  for (int i = 0; i < 32; ++i) want += "xx";
  want += "00";
  EXPECT_EQ(line, want);
  // Other messages are shown whole.
  EXPECT_EQ(Trace::line(1, test::profile_get("home")), "1 0102686f6d6500");

  corvio::test::TempDir dir;
  mode_t saved = umask(0);
  std::string error;
  std::unique_ptr<Trace> trace = Trace::open(dir.file("trace"), &error);
  umask(saved);
  ASSERT_TRUE(trace) << error;
  trace->record(1, login);
  struct stat st {};
  ASSERT_EQ(stat(dir.file("trace").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(corvio::test::read_file(dir.file("trace")), "1" + want.substr(1) + "\n");
  // An existing trace file is appended to and made private.
  corvio::test::write_file(dir.file("old"), "earlier\n");
  chmod(dir.file("old").c_str(), 0644);
  trace = Trace::open(dir.file("old"), &error);
  ASSERT_TRUE(trace) << error;
  trace->record(2, test::quit_message());
  ASSERT_EQ(stat(dir.file("old").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(corvio::test::read_file(dir.file("old")), "earlier\n2 000f\n");
}

}  // namespace
}  // namespace corvio::server
