// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <aclapi.h>

#include "platform/file_modes.h"
#include "platform/win32/owner_only_acl.h"
#include "platform/win32/win32_handles.h"

namespace corvio {
namespace {

std::string reason(const char* step, const std::string& path) {
  return std::string(step) + " " + path + ": error " + std::to_string(::GetLastError());
}

bool write_all(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD want = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), want, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

// Whether an access entry lets someone in who is not the user, the system or the
// administrators (who can take any file anyway).
bool lets_others_in(const ACE_HEADER* header, PSID user) {
  if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
    return false;
  }
  PSID sid = const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->SidStart);
  return !::EqualSid(sid, user) && !::IsWellKnownSid(sid, WinLocalSystemSid) &&
         !::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

}  // namespace

bool create_owner_only_file(const std::string& path, std::string* error) {
  win32::LocalPtr descriptor = win32::owner_only_descriptor();
  if (!descriptor) {
    *error = reason("can't make an access list for", path);
    return false;
  }
  SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
  win32::UniqueHandle file(win32::valid_or_null(::CreateFileA(
      path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file) {
    *error = reason("can't create", path);
    return false;
  }
  return true;
}

bool restrict_to_owner(const std::string& path) {
  win32::LocalPtr descriptor = win32::owner_only_descriptor();
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!descriptor ||
      !::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted)) {
    return false;
  }
  return ::SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool accessible_by_others(const std::string& path) {
  win32::LocalPtr user = win32::current_user_sid();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!user || ::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &dacl, nullptr,
                                       &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  win32::LocalPtr descriptor_owner(descriptor);
  if (!dacl) return true;  // no access list at all: everyone may do everything
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (::GetAce(dacl, i, &ace) && lets_others_in(static_cast<ACE_HEADER*>(ace), user.get())) {
      return true;
    }
  }
  return false;
}

std::string owner_only_folder_command(const std::string& path) {
  return "icacls \"" + path + "\" /inheritance:r /grant:r \"%USERNAME%:(OI)(CI)F\"";
}

bool replace_public_file(const std::string& path, std::string_view bytes, std::string* error) {
  // The new file takes the access list of its folder, which is what its readers use.
  const std::string temp = path + ".new";
  ::DeleteFileA(temp.c_str());
  bool ok;
  {
    win32::UniqueHandle file(win32::valid_or_null(::CreateFileA(
        temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) {
      *error = reason("can't create", temp);
      return false;
    }
    ok = write_all(file.get(), bytes) && ::FlushFileBuffers(file.get());
    if (!ok) *error = reason("can't write", temp);
  }
  if (ok && !::MoveFileExA(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = reason("can't replace", path);
    ok = false;
  }
  if (!ok) ::DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace corvio
