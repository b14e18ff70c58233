// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "platform/file_system.h"
#include "platform/file_time.h"
#include "platform/win32/win32_handles.h"

namespace corvio {
namespace {

// What the Windows build reports as mode, owner and group of every entry.
constexpr uint32_t kWindowsMode = 16384;

int64_t unix_time(const FILETIME& t) {
  return file_time_to_unix(from_halves(t.dwHighDateTime, t.dwLowDateTime));
}

FileInfo info_from_find_data(const WIN32_FIND_DATAA& data) {
  FileInfo info;
  info.name = data.cFileName;
  info.attributes = data.dwFileAttributes;
  if (!info.is_directory()) info.size = from_halves(data.nFileSizeHigh, data.nFileSizeLow);
  info.t_access = unix_time(data.ftLastAccessTime);
  info.t_create = unix_time(data.ftCreationTime);
  info.t_write = unix_time(data.ftLastWriteTime);
  info.mode = kWindowsMode;
  return info;
}

std::string last_component(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool has_wildcard(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

class Win32File : public ReadableFile {
 public:
  explicit Win32File(win32::UniqueHandle file) : file_(std::move(file)) {}

  int64_t read(void* buffer, size_t n) override {
    // ReadFile takes a 32-bit count; a shorter read is a valid answer to a larger request.
    const DWORD want = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!::ReadFile(file_.get(), buffer, want, &got, nullptr)) return -1;
    return got;
  }

 private:
  win32::UniqueHandle file_;
};

class Win32FileSystem : public FileSystem {
 public:
  std::optional<FileInfo> find(const std::string& path) override {
    // A search would match a pattern against several entries; no entry's name has one.
    if (path.empty() || has_wildcard(path)) return std::nullopt;
    WIN32_FIND_DATAA data;
    win32::UniqueFind search(win32::valid_or_null(::FindFirstFileA(path.c_str(), &data)));
    if (search) return info_from_find_data(data);
    // A search cannot find a drive root or a path with a trailing backslash; their
    // attributes and times can still be read.
    WIN32_FILE_ATTRIBUTE_DATA attrs;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attrs)) return std::nullopt;
    WIN32_FIND_DATAA same{};
    same.dwFileAttributes = attrs.dwFileAttributes;
    same.ftCreationTime = attrs.ftCreationTime;
    same.ftLastAccessTime = attrs.ftLastAccessTime;
    same.ftLastWriteTime = attrs.ftLastWriteTime;
    same.nFileSizeHigh = attrs.nFileSizeHigh;
    same.nFileSizeLow = attrs.nFileSizeLow;
    FileInfo info = info_from_find_data(same);
    info.name = last_component(path);
    return info;
  }

  bool list(const std::string& dir, std::vector<FileInfo>* entries) override {
    entries->clear();
    std::string pattern = dir;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA data;
    win32::UniqueFind search(win32::valid_or_null(::FindFirstFileA(pattern.c_str(), &data)));
    // An empty drive root has no "." entry, so the search finds nothing at all.
    if (!search) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
      const std::string name = data.cFileName;
      if (name != "." && name != "..") entries->push_back(info_from_find_data(data));
    } while (::FindNextFileA(search.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
  }

  std::unique_ptr<ReadableFile> open_read(const std::string& path) override {
    // Others may go on reading, writing and even deleting the file while it is backed up.
    win32::UniqueHandle file(win32::valid_or_null(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    if (!file) return nullptr;
    return std::make_unique<Win32File>(std::move(file));
  }

  bool remove(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

  bool rename(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }

  bool make_dir(const std::string& path) override {
    if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attrs = ::GetFileAttributesA(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
};

}  // namespace

FileSystem& real_file_system() {
  static Win32FileSystem fs;
  return fs;
}

}  // namespace corvio
