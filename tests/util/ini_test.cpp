// SPDX-License-Identifier: Apache-2.0
#include "util/ini.h"

#include <gtest/gtest.h>

namespace corvio {
namespace {

TEST(IniGetString, FindsTheKeyOfItsSectionOnly) {
  const std::string text =
      "filever=9.9.9.9\r\n"  // before any section
      "[corvio-mac]\r\n"
      "filever=8.8.8.8\r\n"
      "; filever=7.7.7.7\r\n"
      "  [ Corvio-Windows ]  \r\n"
      "other = x\r\n"
      "  FileVer =  0.14.0.0  \r\n"
      "filever=second\r\n"
      "version=\"Corvio 0.14\"\r\n"
      "quoted='half\r\n"
      "bare\r\n"
      "empty=\r\n"
      "[broken\r\n"
      "after=still\n"
      "[next]\n"
      "last=1";
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"corvio-windows", "filever", "0.14.0.0"},
      {"CORVIO-WINDOWS", "FILEVER", "0.14.0.0"},
      {"corvio-windows", "version", "Corvio 0.14"},
      {"corvio-windows", "quoted", "'half"},
      {"corvio-windows", "bare", ""},
      {"corvio-windows", "empty", ""},
      {"corvio-windows", "after", "still"},  // a "[" line without "]" opens no section
      {"corvio-windows", "missing", ""},
      {"corvio-mac", "filever", "8.8.8.8"},
      {"next", "last", "1"},
      {"next", "filever", ""},
      {"none", "filever", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini_get_string(text, c.section, c.key, 255), c.value) << c.section << " " << c.key;
  }
  EXPECT_EQ(ini_get_string("", "a", "b", 255), "");
}

TEST(IniGetString, ValueIsCutToTheBuffer) {
  const std::string text = "[s]\nk=" + std::string(300, 'v') + "\n";
  EXPECT_EQ(ini_get_string(text, "s", "k", 255), std::string(254, 'v'));
  EXPECT_EQ(ini_get_string(text, "s", "k", 1), "");
  EXPECT_EQ(ini_get_string(text, "s", "k", 0), "");
}

}  // namespace
}  // namespace corvio
