// SPDX-License-Identifier: Apache-2.0
// What only the Windows implementation does: attributes and times as the file system stores
// them, sizes beyond 32 bits, the registry and AppData, priorities, and the profile-string
// reader that the shared INI reader stands in for.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/directories.h"
#include "platform/file_modes.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "platform/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/win32_handles.h"
#include "support/temp_dir.h"
#include "util/ini.h"

namespace corvio {
namespace {

FILETIME file_time_of(int64_t unix_seconds) {
  const uint64_t t = static_cast<uint64_t>(unix_seconds * 10000000 + kFileTimeUnixEpoch);
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

TEST(Win32FileSystem, AttributesTimesAndLargeSizesComeFromTheFileSystem) {
  FileSystem& fs = real_file_system();
  test::TempDir dir;
  const std::string path = dir.file("big.bin");
  {
    win32::UniqueHandle f(win32::valid_or_null(::CreateFileA(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    ASSERT_TRUE(f);
    // 5 GiB and 3 bytes: the high half of the size is 1, the low half 0x40000003.
    LARGE_INTEGER end;
    end.QuadPart = (5LL << 30) + 3;
    ASSERT_TRUE(::SetFilePointerEx(f.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(f.get()));
    const FILETIME access = file_time_of(1000000001), write = file_time_of(1000000002);
    ASSERT_TRUE(::SetFileTime(f.get(), nullptr, &access, &write));
  }
  auto info = fs.find(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, (5ull << 30) + 3);
  EXPECT_EQ(info->t_access, 1000000001);
  EXPECT_EQ(info->t_write, 1000000002);
  EXPECT_EQ(info->mode, 16384u);
  EXPECT_EQ(info->owner, 0u);
  std::vector<FileInfo> entries;
  ASSERT_TRUE(fs.list(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, (5ull << 30) + 3);
  EXPECT_EQ(entries[0].t_write, 1000000002);

  // Hidden, read-only and system come and go as they are set. Wine cannot clear the archive
  // bit of a file, so it is only looked at where it was set.
  const struct {
    DWORD set;
    uint32_t seen;
  } cases[] = {
      {FILE_ATTRIBUTE_HIDDEN, kAttrHidden},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, kAttrReadOnly | kAttrSystem},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY |
           FILE_ATTRIBUTE_SYSTEM,
       kAttrArchive | kAttrHidden | kAttrReadOnly | kAttrSystem},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), c.set));
    const uint32_t looked_at = kAttrHidden | kAttrReadOnly | kAttrSystem | (c.seen & kAttrArchive);
    EXPECT_EQ(fs.find(path)->attributes & looked_at, c.seen) << c.set;
    ASSERT_TRUE(fs.list(dir.path(), &entries));
    EXPECT_EQ(entries[0].attributes & looked_at, c.seen) << c.set;
    EXPECT_FALSE(entries[0].is_directory());
  }
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
}

TEST(Win32FileSystem, ADriveRootIsFoundThoughASearchCannotFindIt) {
  auto root = real_file_system().find("C:\\");
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->is_directory());
  std::vector<FileInfo> entries;
  EXPECT_TRUE(real_file_system().list("C:\\", &entries));
  EXPECT_FALSE(entries.empty());
}

TEST(Win32FileModes, RestrictingAFileReplacesTheAccessListItInherited) {
  // Wine keeps the access list a file was created with, but derives the one of an existing
  // file from its POSIX mode again, so only Windows can show the change.
  if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
    GTEST_SKIP() << "Wine does not store the access list of an existing file";
  }
  test::TempDir dir;
  const std::string path = dir.file("old.bak");
  test::write_file(path, "x");
  ASSERT_TRUE(restrict_to_owner(path));
  EXPECT_FALSE(accessible_by_others(path));
  EXPECT_EQ(test::read_file(path), "x");
}

// Sets an environment variable of the process for the length of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    char old[32768];
    const DWORD n = ::GetEnvironmentVariableA(name, old, sizeof old);
    had_ = n > 0 && n < sizeof old;
    if (had_) old_.assign(old, n);
    ::SetEnvironmentVariableA(name, value);
  }
  ~ScopedEnv() { ::SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(Win32Directories, TheDataDirectoryLiesUnderAppData) {
  {
    ScopedEnv app_data("AppData", "C:\\Users\\anna\\AppData\\Roaming");
    EXPECT_EQ(user_data_dir(), "C:\\Users\\anna\\AppData\\Roaming\\Meridane Online Backup");
  }
  {
    const std::string longest = "C:\\" + std::string(231, 'a');  // 234 characters
    ScopedEnv app_data("AppData", longest.c_str());
    EXPECT_EQ(user_data_dir(), longest + "\\Meridane Online Backup");
  }
  {
    const std::string too_long = "C:\\" + std::string(232, 'a');
    ScopedEnv app_data("AppData", too_long.c_str());
    EXPECT_FALSE(user_data_dir().has_value());
  }
  ScopedEnv absent("AppData", nullptr);
  EXPECT_FALSE(user_data_dir().has_value());
}

TEST(Win32Directories, MakeDirsCreatesPathsWithBackslashesBelowADrive) {
  test::TempDir dir;
  std::string deep = dir.path() + "\\x\\\\y\\z\\";
  EXPECT_TRUE(make_dirs(deep));
  EXPECT_TRUE(real_file_system().find(dir.path() + "\\x\\y\\z")->is_directory());
  EXPECT_TRUE(make_dirs("C:\\"));
}

// A key of its own under HKEY_CURRENT_USER, deleted with its values at the end.
class TestKey {
 public:
  static constexpr char kPath[] = "Software\\Meridane\\Online Backup Test";
  TestKey() {
    HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    key_.reset(key);
  }
  ~TestKey() {
    key_.reset();
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kPath);
  }
  void set(const char* name, DWORD type, const std::string& bytes) {
    EXPECT_EQ(::RegSetValueExA(key_.get(), name, 0, type,
                               reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }

 private:
  win32::UniqueKey key_;
};

TEST(Win32Registry, AValueIsReadWhenItExistsAndFits) {
  using win32::registry_string;
  EXPECT_FALSE(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "Install_Dir"));
  TestKey key;
  EXPECT_FALSE(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "Install_Dir"));
  const std::string dir = "C:\\Program Files\\Meridane Online Backup";
  key.set("Install_Dir", REG_SZ, dir + '\0');
  EXPECT_EQ(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "Install_Dir"), dir);
  EXPECT_EQ(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "install_dir"), dir);

  // 259 bytes fit, whether or not a terminator is stored; more do not, and are not cut.
  key.set("Install_Dir", REG_SZ, std::string(258, 'a') + '\0');
  EXPECT_EQ(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "Install_Dir"),
            std::string(258, 'a'));
  key.set("Install_Dir", REG_BINARY, std::string(259, 'b'));
  EXPECT_EQ(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "Install_Dir"),
            std::string(259, 'b'));
  key.set("Install_Dir", REG_SZ, std::string(300, 'c') + '\0');
  EXPECT_FALSE(registry_string(HKEY_CURRENT_USER, TestKey::kPath, "Install_Dir"));
}

TEST(Win32Registry, TheInstallationDirectoryComesFromTheMachinesKey) {
  const char* path = "Software\\Meridane\\Online Backup";
  HKEY existing = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
    ::RegCloseKey(existing);
    GTEST_SKIP() << "the program is installed here; its key is left alone";
  }
  EXPECT_FALSE(install_dir().has_value());
  HKEY created = nullptr;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &created, nullptr) != ERROR_SUCCESS) {
    GTEST_SKIP() << "writing HKEY_LOCAL_MACHINE needs administrator rights";
  }
  win32::UniqueKey key(created);
  const std::string dir = "C:\\Program Files (x86)\\Meridane";
  ASSERT_EQ(::RegSetValueExA(key.get(), "Install_Dir", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(dir.c_str()),
                             static_cast<DWORD>(dir.size() + 1)),
            ERROR_SUCCESS);
  EXPECT_EQ(install_dir(), dir);
  key.reset();
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
  EXPECT_FALSE(install_dir().has_value());
}

TEST(Win32Process, ProfilePrioritiesMapOntoThreadPriorities) {
  const struct {
    uint32_t profile;
    int thread;
  } cases[] = {
      {0, THREAD_PRIORITY_IDLE},   {1, THREAD_PRIORITY_BELOW_NORMAL},
      {2, THREAD_PRIORITY_NORMAL}, {3, THREAD_PRIORITY_ABOVE_NORMAL},
      {4, THREAD_PRIORITY_HIGHEST}, {5, THREAD_PRIORITY_BELOW_NORMAL},
      {0xFFFFFFFF, THREAD_PRIORITY_BELOW_NORMAL},
  };
  for (const auto& c : cases) {
    int result = -2, seen = -100;
    std::thread worker([&] {
      result = set_thread_priority(current_thread_id(), c.profile);
      seen = ::GetThreadPriority(::GetCurrentThread());
    });
    worker.join();
    EXPECT_EQ(result, 0) << c.profile;
    EXPECT_EQ(seen, c.thread) << c.profile;
  }
}

// The update check reads the update file with the shared INI reader; it must answer as
// GetPrivateProfileStringA does, with the same buffer of 255 bytes.
TEST(Win32ProfileString, TheSharedReaderAnswersAsTheSystemDoes) {
  const std::string text =
      "filever=9.9.9.9\r\n"
      "[corvio-mac]\r\n"
      "filever=8.8.8.8\r\n"
      "; filever=7.7.7.7\r\n"
      "  [ Corvio-Windows ]  \r\n"
      "other = x\r\n"
      "  FileVer =  0.14.0.0  \r\n"
      "filever=second\r\n"
      "version=\"Corvio 0.14\"\r\n"
      "quoted='half\r\n"
      "single='both'\r\n"
      "bare\r\n"
      "empty=\r\n"
      "long=" + std::string(300, 'v') + "\r\n"
      "[next]\n"
      "last=1";
  test::TempDir dir;
  const std::string path = dir.path() + "\\update.ini";
  test::write_file(path, text);
  const char* keys[][2] = {
      {"corvio-windows", "filever"}, {"CORVIO-WINDOWS", "FILEVER"}, {"corvio-windows", "version"},
      {"corvio-windows", "quoted"},  {"corvio-windows", "single"},  {"corvio-windows", "bare"},
      {"corvio-windows", "empty"},   {"corvio-windows", "long"},    {"corvio-windows", "missing"},
      {"corvio-mac", "filever"},     {"next", "last"},              {"next", "filever"},
      {"none", "filever"},
  };
  for (const auto& k : keys) {
    char value[256] = {};
    ::GetPrivateProfileStringA(k[0], k[1], "", value, 255, path.c_str());
    EXPECT_EQ(ini_get_string(text, k[0], k[1], 255), value) << k[0] << " " << k[1];
  }
}

}  // namespace
}  // namespace corvio
