// SPDX-License-Identifier: Apache-2.0
// "corvioctl profile ...": creating, editing, showing, listing and deleting backup profiles
// without windows. It fills the profile editor's fields from options and saves through the
// editor, so it applies the same checks and writes the same files as the windows do.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/context.h"

namespace corvio {

class Config;

// Exit codes of corvioctl.
inline constexpr int kCtlOk = 0;
inline constexpr int kCtlFailed = 1;  // a check failed or a file could not be written
inline constexpr int kCtlUsage = 2;   // the command line itself is wrong

struct CtlIo {
  std::FILE* out;          // results
  std::FILE* err;          // usage errors
  std::FILE* password_in;  // read by --password-stdin
};

// Folds a tag and applies the editor's check to it, before it names any file. False after
// showing the editor's text.
bool checked_tag(const Context& ctx, std::string& tag);

// The single operand of a command, from args[first] on: "--help" or "-h" asks for help, and
// "--" ends the options, so that an operand that begins with '-' can still be named.
enum class Operand { kValue, kHelp, kUsage };
Operand single_operand(const std::vector<std::string>& args, size_t first, std::string* value);

// Removes option (a flag without a value, such as "--json") from args[first] on, up to a "--"
// that ends the options. True when it was there.
bool take_flag(std::vector<std::string>& args, size_t first, const std::string& option);

// args are the words after "profile". config is opened here when a command needs it (so that
// help never touches corvio.dat). Every tag is folded and checked as the editor does before any
// file is touched. Failures of the profile code itself are shown through ctx.messages; usage
// errors are printed on io.err.
int profile_command(const Context& ctx, Config& config, std::vector<std::string> args,
                    const CtlIo& io);

}  // namespace corvio
