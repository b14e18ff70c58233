// SPDX-License-Identifier: Apache-2.0
// Bytes as lower-case hexadecimal text, two characters a byte, high nibble first.
#pragma once

#include <string>
#include <string_view>

namespace corvio {

std::string to_hex(std::string_view bytes);

// The reverse; accepts either letter case. False on odd length or a non-hex character.
bool from_hex(std::string_view hex, std::string* bytes);

}  // namespace corvio
