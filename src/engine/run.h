// SPDX-License-Identifier: Apache-2.0
// Run: what every step of a backup run works with, gathered so that the tree walk, the block
// loop and the worker pass one value down instead of six. Everything is borrowed; the worker
// that builds a Run owns the pieces for the length of the run. Used on the worker thread only.
#pragma once

#include <functional>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"

namespace corvio {

class Catalog;
class Md5Cache;
class ReadAhead;
class Connection;
class Pipeline;
class ShadowCopy;

struct Run {
  Context& ctx;
  BackupSession& session;
  Catalog& catalog;
  Md5Cache& cache;
  Connection& net;
  ShadowCopy* shadow = nullptr;     // null when the run reads the live file system
  ReadAhead* read_ahead = nullptr;  // null: the block loop reads each file block by block
  Pipeline* pipe = nullptr;         // where effects and block requests go, in the run's order

  const Profile& profile() const { return *session.profile; }
  // The path to open or search for path: its image in the snapshot when the run reads from
  // one, else the path itself. Recorded paths always stay the live ones.
  std::string source(const std::string& path) const;
  // Appends text to the run's log; nothing before the log is open. Applied at once: a step of
  // the walk or the block loop hands its log lines over with then().
  void log(const std::string& text) const;
  // Applies effect in the run's order: at once when no pipeline is set or nothing earlier
  // waits for the server (engine/pipeline.h).
  void then(std::function<void()> effect) const;
  // The run's pause point (engine/pause_point.h).
  void wait_if_paused() const;
};

// Longest path the walk and the block loop handle. A longer one is skipped with a warning
// rather than cut short, which could name another file.
inline constexpr size_t kMaxPathChars = 1023;

// The path with a lower-case drive letter in front of its colon turned to upper case, under
// the Windows style; unchanged otherwise.
std::string upper_drive_letter(const PathStyle& style, std::string path);

}  // namespace corvio
