// SPDX-License-Identifier: Apache-2.0
// The program with windows, where the build has them and a display is available.
#pragma once

namespace corvio {

// Runs the whole program with the windows and sets *exit_code; false, without doing anything,
// when there are no windows to show, so that the terminal front end runs instead.
bool run_with_windows(int argc, char** argv, const char* command_line, int* exit_code);

}  // namespace corvio
