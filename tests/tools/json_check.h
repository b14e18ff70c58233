// SPDX-License-Identifier: Apache-2.0
// Reads a JSON document back with an independent parser (Python's json module), for the tests
// of the --json outputs.
#pragma once

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace corvio::test {

// The document re-serialised canonically: keys sorted, no blanks, everything outside ASCII as
// \u escapes. "invalid: REASON" when it is not exactly one strict JSON document (no NaN, no
// control characters inside strings, nothing after it).
inline std::string json_canonical(const std::string& document) {
  TempDir dir;
  write_file(dir.file("doc.json"), document);
  const std::string command =
      "python3 -c 'import json, sys\n"
      "def strict(c): raise ValueError(\"not JSON: \" + c)\n"
      "try:\n"
      "  d = json.loads(open(sys.argv[1], encoding=\"utf-8\", errors=\"strict\").read(),"
      " parse_constant=strict)\n"
      "  print(json.dumps(d, sort_keys=True, separators=(\",\", \":\")), end=\"\")\n"
      "except Exception as e:\n"
      "  print(\"invalid:\", e, end=\"\")\n"
      "' " +
      dir.file("doc.json");
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "invalid: python3 did not start";
  std::string result;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.append(chunk, n);
  if (pclose(pipe) != 0) return "invalid: python3 failed";
  return result;
}

}  // namespace corvio::test
