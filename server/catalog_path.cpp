// SPDX-License-Identifier: Apache-2.0
#include "catalog_path.h"

#include "util/text.h"

namespace corvio::server {
namespace {

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Splits text at every character of separators, dropping empty pieces.
void split_into(std::string_view text, std::string_view separators,
                std::vector<std::string>* parts) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(separators, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) parts->emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

CatalogPath parse_catalog_path(std::string_view path) {
  CatalogPath out;
  bool drive = path.size() >= 2 && is_letter(path[0]) && path[1] == ':' &&
               (path.size() == 2 || path[2] == '\\' || path[2] == '/');
  bool absolute = drive || (!path.empty() && path[0] == '/');
  if (drive) {
    out.windows = true;
    char letter = path[0] >= 'a' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
    out.parts.emplace_back(1, letter);
    split_into(path.substr(2), "\\/", &out.parts);
  } else {
    split_into(path, absolute ? "/" : "\\/", &out.parts);
  }
  if (path.find('\0') != std::string_view::npos) {
    out.unsafe = "contains a 0 byte";
  } else if (!absolute) {
    out.unsafe = "is not an absolute path (neither a drive letter nor a leading /)";
  } else {
    for (const std::string& part : out.parts) {
      if (part == "." || part == "..") {
        out.unsafe = "has a \"" + part + "\" component";
        break;
      }
    }
  }
  return out;
}

bool path_is_under(const CatalogPath& path, const CatalogPath& prefix) {
  if (path.windows != prefix.windows || path.parts.size() < prefix.parts.size()) return false;
  for (size_t i = 0; i < prefix.parts.size(); ++i) {
    bool same = path.windows ? equal_ignoring_ascii_case(path.parts[i], prefix.parts[i])
                             : path.parts[i] == prefix.parts[i];
    if (!same) return false;
  }
  return true;
}

void DirectorySpellings::apply(CatalogPath* path, size_t count) {
  if (!path->windows) return;
  std::string key;
  for (size_t i = 0; i < count && i < path->parts.size(); ++i) {
    key += '/' + lower_ascii(path->parts[i]);
    path->parts[i] = first_.try_emplace(key, path->parts[i]).first->second;
  }
}

std::string EntryPlaces::claim(CatalogPath* path, bool directory) {
  if (!path->unsafe.empty()) return "refused: the path " + path->unsafe;
  spellings_.apply(path, path->parts.size() - (directory || path->parts.empty() ? 0 : 1));
  // The place below the target, and for a Windows path also the place however its letters are
  // cased (the name of one file on Windows); a 0 byte keeps the two kinds apart.
  std::string place = join_parts(path->parts);
  bool taken = !taken_.insert(place).second;
  if (path->windows && !taken_.insert(std::string(1, '\0') + lower_ascii(place)).second) {
    taken = true;
  }
  return taken ? "an earlier entry of the catalog has the same place" : std::string();
}

std::string join_parts(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

}  // namespace corvio::server
