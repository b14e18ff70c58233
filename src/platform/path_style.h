// SPDX-License-Identifier: Apache-2.0
// How paths are written and compared. The Windows style has backslashes, drive letters and
// letter case that does not count; the POSIX style has slashes and a root "/" and keeps case,
// so "a.txt" and "A.txt" are two files. Every piece of code that splits, joins, folds, matches
// or records a path takes the style from the run's context instead of assuming one.
#pragma once

#include <string>
#include <string_view>

namespace corvio {

struct PathStyle {
  char separator;
  bool fold_case;      // A-Z and a-z are the same letter in paths
  bool drive_letters;  // paths begin with a drive such as "C:"

  static PathStyle windows() { return {'\\', true, true}; }
  static PathStyle posix() { return {'/', false, false}; }
  static PathStyle native();

  bool is_windows() const { return drive_letters; }

  // dir + separator + name; no separator is doubled when dir already ends in one.
  std::string join(std::string_view dir, std::string_view name) const;

  // The path as stored for lookups: lower-cased A-Z under the Windows style, unchanged otherwise.
  std::string fold(std::string_view path) const;

  // Whether the path names the same entry wherever the program runs: under the POSIX style it
  // begins with "/"; under the Windows style with a drive ("C:", "C:\...") or "\\" (a share).
  bool is_absolute(std::string_view path) const;

  // Whether two paths name the same entry under this style's case rule.
  bool same(std::string_view a, std::string_view b) const;

  // Splits at the last separator. "C:\Data\a.txt" gives "C:\Data" and "a.txt"; a path without a
  // separator gives an empty parent and the whole path as its name. Under the POSIX style the
  // root keeps its slash: "/a" gives "/" and "a", and "/" itself gives "" and "/".
  void split(std::string_view path, std::string* parent, std::string* name) const;
};

}  // namespace corvio
