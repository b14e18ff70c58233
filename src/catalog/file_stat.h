// SPDX-License-Identifier: Apache-2.0
// FileStat: the attributes of one directory or file as the catalog records them. The tree walk
// fills it for directories and the block loop for regular files.
#pragma once

#include <cstdint>

namespace corvio {

inline constexpr uint8_t kFileStatDirectory = 1;
inline constexpr uint8_t kFileStatRegular = 2;

struct FileStat {
  uint8_t type = 0;   // kFileStatDirectory or kFileStatRegular
  uint8_t attr = 0;   // low 8 bits of the Windows attribute bits
  uint32_t mode = 0;  // 16384 under the Windows style; st_mode under POSIX
  uint32_t owner = 0;
  uint32_t group = 0;
  uint64_t size = 0;  // 0 for directories
  // Seconds since 1970 (UTC): last access, creation (POSIX: status change), last write.
  uint32_t t_access = 0;
  uint32_t t_change = 0;
  uint32_t t_modify = 0;
};

}  // namespace corvio
