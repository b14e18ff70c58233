// SPDX-License-Identifier: Apache-2.0
#include "engine/run.h"

#include <cctype>
#include <cstdio>

#include "engine/pause_point.h"
#include "engine/pipeline.h"
#include "vss/shadow_copy.h"

namespace corvio {

std::string Run::source(const std::string& path) const {
  if (!shadow || !session.profile->use_shadow_copy) return path;
  return shadow->map_path(path);
}

void Run::log(const std::string& text) const { session.write_log(text); }

void Run::then(std::function<void()> effect) const {
  if (pipe) {
    pipe->then(std::move(effect));
  } else {
    effect();
  }
}

void Run::wait_if_paused() const { corvio::wait_if_paused(ctx, session, net); }

std::string upper_drive_letter(const PathStyle& style, std::string path) {
  if (style.drive_letters && path.size() >= 2 && path[1] == ':' && path[0] >= 'a' &&
      path[0] <= 'z') {
    path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  }
  return path;
}

}  // namespace corvio
