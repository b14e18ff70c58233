// SPDX-License-Identifier: Apache-2.0
// A program for the process tests to start: it leaves a mark file, so the test can see it ran.
#include <cstdio>

int main() {
  std::FILE* mark = std::fopen(CORVIO_CHILD_MARK, "w");
  if (!mark) return 1;
  std::fputs("ran\n", mark);
  return std::fclose(mark) == 0 ? 0 : 1;
}
