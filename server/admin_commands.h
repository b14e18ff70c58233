// SPDX-License-Identifier: Apache-2.0
// The commands that read a store without serving it:
//
//   corvio-server restore --store DIR --catalog N --to DIR [--path PREFIX]
//   corvio-server verify --store DIR [--catalog N]
//   corvio-server catalogs --store DIR [--login L]
//
// main.cpp parses their command line with its own parser (every option takes a value, --store
// is required) and hands over what it found. Results and summaries go to standard output, each
// problem to standard error as one line "corvio-server: ...". Exit status: 0 success, 1 a
// failure or any problem found, 2 a bad command line.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace corvio::server {

// Whether command is one of these three.
bool is_admin_command(std::string_view command);
// The options command takes, without their leading "--".
std::vector<std::string> admin_command_options(std::string_view command);
// Runs command; its exit status. A bad command line returns 2 with *usage set to the complaint
// (main prints it with the usage text).
int run_admin_command(std::string_view command,
                      const std::multimap<std::string, std::string>& options,
                      const std::vector<std::string>& positional, std::string* usage);

}  // namespace corvio::server
