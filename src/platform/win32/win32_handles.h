// SPDX-License-Identifier: Apache-2.0
// Owners for the handles of the Windows API, each closed by the call that belongs to it. A
// handle gets its owner on the line that creates it.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <memory>
#include <type_traits>

namespace corvio::win32 {

// CreateFile and FindFirstFile report failure as INVALID_HANDLE_VALUE, most other calls as
// null; owners hold null for both, so that testing an owner tests the handle.
inline HANDLE valid_or_null(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

struct HandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
  void operator()(HANDLE h) const { ::FindClose(h); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// A COM interface pointer, released when its owner goes.
struct ComReleaser {
  void operator()(IUnknown* p) const { p->Release(); }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComReleaser>;

}  // namespace corvio::win32
