// SPDX-License-Identifier: Apache-2.0
#include "platform/win32/owner_only_acl.h"

#include <sddl.h>

#include <vector>

#include "platform/win32/win32_handles.h"

namespace corvio::win32 {

LocalPtr current_user_sid() {
  HANDLE token_handle = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token_handle)) return nullptr;
  UniqueHandle token(token_handle);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    return nullptr;
  }
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  const DWORD length = ::GetLengthSid(user);
  LocalPtr copy(::LocalAlloc(LMEM_FIXED, length));
  if (!copy || !::CopySid(length, copy.get(), user)) return nullptr;
  return copy;
}

LocalPtr owner_only_descriptor() {
  LocalPtr user = current_user_sid();
  char* user_text = nullptr;
  if (!user || !::ConvertSidToStringSidA(user.get(), &user_text)) return nullptr;
  LocalPtr user_text_owner(user_text);
  // D:P - a protected access list, so nothing is inherited from the folder; one entry that
  // allows the user all file access (FA).
  const std::string sddl = std::string("D:P(A;;FA;;;") + user_text + ")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return nullptr;
  }
  return LocalPtr(descriptor);
}

}  // namespace corvio::win32
