// SPDX-License-Identifier: Apache-2.0
// Keeps the folders in layers: a file may include its own folder's files and those of the
// folders below it, never a folder beside or above it. The order is written here, once (and
// shown in docs/architecture.md); a failure names the file, the line and the two folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Layer {
  const char* folder;  // relative to the source tree
  int rank;            // folders of the same rank are peers and do not include each other
};

// From the bottom.
const Layer kLayers[] = {
    {"src/util", 0},        {"src/platform", 1},    {"src/db", 2},        {"src/base", 3},
    {"src/profile", 4},     {"src/catalog", 4},     {"src/md5cache", 4},  {"src/net", 4},
    {"src/vss", 4},         {"src/engine", 5},      {"src/app", 6},       {"src/ui/term", 7},
    {"src/ui/qt", 7},       {"src/ui/win32", 7},    {"tools/corvio", 8},  {"tools/corvioctl", 8},
    {"server", 8},
};

const fs::path kRoot = CORVIO_SOURCE_DIR;

// The layer holding path (relative to the source tree): the longest folder that contains it.
const Layer* layer_of(const std::string& path) {
  const Layer* best = nullptr;
  for (const Layer& layer : kLayers) {
    const std::string folder = std::string(layer.folder) + "/";
    if (path.compare(0, folder.size(), folder) == 0 &&
        (!best || folder.size() > std::string(best->folder).size() + 1)) {
      best = &layer;
    }
  }
  return best;
}

// Where #include "name" in file leads: beside the file first, then from src/ (the include
// folder of every target). Empty when it leads to no file of the tree.
std::string resolve(const fs::path& file, const std::string& name) {
  for (const fs::path& base : {file.parent_path(), kRoot / "src"}) {
    const fs::path candidate = (base / name).lexically_normal();
    if (fs::exists(candidate)) return candidate.lexically_relative(kRoot).generic_string();
  }
  return {};
}

// Every include against the order, as "file:line: ..." lines.
std::vector<std::string> violations() {
  static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<std::string> found;
  for (const char* top : {"src", "server", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(kRoot / top)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      const std::string from = entry.path().lexically_relative(kRoot).generic_string();
      const Layer* from_layer = layer_of(from);
      if (!from_layer) {
        found.push_back(from + ": in no layer");
        continue;
      }
      std::ifstream in(entry.path());
      std::string line;
      std::smatch m;
      for (int number = 1; std::getline(in, line); ++number) {
        if (!std::regex_search(line, m, include)) continue;
        const std::string where = from + ":" + std::to_string(number) + ": ";
        const std::string to = resolve(entry.path(), m[1]);
        const Layer* to_layer = to.empty() ? nullptr : layer_of(to);
        if (!to_layer) {
          found.push_back(where + "\"" + m[1].str() + "\" is in no layer");
        } else if (to_layer != from_layer && to_layer->rank >= from_layer->rank) {
          found.push_back(where + from_layer->folder + " includes " + to + ", which is " +
                          (to_layer->rank == from_layer->rank ? "beside" : "above") + " it");
        }
      }
    }
  }
  return found;
}

TEST(Layers, NoIncludeRunsAgainstTheFolderOrder) {
  for (const std::string& v : violations()) ADD_FAILURE() << v;
}

}  // namespace
