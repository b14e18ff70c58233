// SPDX-License-Identifier: Apache-2.0
// "corvioctl runs TAG" and "corvioctl log TAG [N]": the backup runs of a profile as this
// machine's catalogs and logs record them. Neither writes anything.
#pragma once

#include <string>
#include <vector>

#include "base/context.h"
#include "profile_command.h"

namespace corvio {

bool is_run_command(const std::string& command);

// command is "runs" or "log"; args are the words after it. The tag is folded and checked as
// the profile editor does before any file is named. Results go to io.out, usage errors and
// missing profiles or runs to io.err, a refused tag through ctx.messages. kCtlOk; kCtlFailed
// for a refused tag or when the profile or the run does not exist; kCtlUsage for a bad command
// line.
int run_command(const Context& ctx, const std::string& command,
                const std::vector<std::string>& args, const CtlIo& io);

}  // namespace corvio
