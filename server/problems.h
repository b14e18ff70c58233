// SPDX-License-Identifier: Apache-2.0
// How the commands that check a store (restore, verify) hand on what they find wrong: one text
// per problem, without a line break, each naming what it concerns. The caller prints them.
#pragma once

#include <functional>
#include <string>

namespace corvio::server {

using ProblemSink = std::function<void(const std::string&)>;

}  // namespace corvio::server
