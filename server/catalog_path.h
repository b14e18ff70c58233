// SPDX-License-Identifier: Apache-2.0
// Where a path recorded in a catalog goes below a restore's target directory. Catalogs carry
// the paths of the machine that was backed up, in its style:
//
//   Windows  C:\Data\a.txt   ->  C/Data/a.txt   (drive letter upper-cased, \ and / both split)
//   POSIX    /home/a/x       ->  home/a/x       (the leading / dropped; a \ is part of a name)
//
// A path is taken apart into components that are each one plain name; the restore joins them
// below its target and never interprets them again, so a component can neither climb out
// ("..") nor start over at the root. Anything that does not read as one of the two absolute
// forms above is refused rather than guessed at.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace corvio::server {

struct CatalogPath {
  bool windows = false;            // the path has a drive letter
  std::vector<std::string> parts;  // below the target; empty components and the root dropped
  std::string unsafe;              // why the path must not be restored; empty when it may
};

// Takes a catalog path apart. The parts are filled even for an unsafe path, so that a filter
// can still tell whether the path lies under it.
CatalogPath parse_catalog_path(std::string_view path);

// Whether path is prefix or lies below it: the same style and prefix's parts leading path's,
// compared without regard to ASCII letter case for Windows paths (as the client compares them).
bool path_is_under(const CatalogPath& path, const CatalogPath& prefix);

// Windows paths name the same directory however their letters are cased; the target's file
// system may tell cases apart. This keeps the first spelling seen of each directory of Windows
// paths and gives it to every later path through that directory, so that C:\Data\a and
// C:\DATA\b are restored into one directory C/Data.
class DirectorySpellings {
 public:
  // Replaces the first count parts of a Windows path by the spellings first seen for them.
  void apply(CatalogPath* path, size_t count);

 private:
  std::map<std::string, std::string> first_;  // folded leading parts -> spelling of the last
};

// The places a catalog's entries take below the target, claimed in the order restore takes the
// entries. Restore and verify place every entry through one of these, so that both find the
// same problems in a catalog's paths.
class EntryPlaces {
 public:
  // Settles the spelling of the directories of path (DirectorySpellings; a directory entry's
  // own last part counts as one) and claims its place. Empty when the entry may be restored;
  // otherwise why not: the path is unsafe, or an earlier entry took its place (a path listed
  // twice, perhaps spelled another way: C:\a and c:/A are one place).
  std::string claim(CatalogPath* path, bool directory);

 private:
  DirectorySpellings spellings_;
  std::unordered_set<std::string> taken_;
};

// The parts joined with '/', for messages.
std::string join_parts(const std::vector<std::string>& parts);

}  // namespace corvio::server
