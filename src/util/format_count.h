// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <string>

namespace corvio {

// The number format of every counter field: decimal with a comma between groups of three
// digits counted from the right, whatever the user's locale ("1,234,567").
std::string format_count(uint64_t value);

}  // namespace corvio
