// SPDX-License-Identifier: Apache-2.0
// A build without Qt has no windows.
#include "run_with_windows.h"

namespace corvio {

bool run_with_windows(int, char**, const char*, int*) { return false; }

}  // namespace corvio
