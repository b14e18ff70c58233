#include "platform/path_style.h"

#include "util/text.h"

namespace corvio {

PathStyle PathStyle::native() {
#ifdef _WIN32
  return windows();
#else
  return posix();
#endif
}

std::string PathStyle::join(std::string_view dir, std::string_view name) const {
  std::string out(dir);
  if (out.empty() || out.back() != separator) out += separator;
  out += name;
  return out;
}

std::string PathStyle::fold(std::string_view path) const {
  return fold_case ? lower_ascii(path) : std::string(path);
}

bool PathStyle::same(std::string_view a, std::string_view b) const {
  return fold_case ? equal_ignoring_ascii_case(a, b) : a == b;
}

void PathStyle::split(std::string_view path, std::string* parent, std::string* name) const {
  size_t cut = path.rfind(separator);
  if (cut == std::string_view::npos || (!drive_letters && path == "/")) {
    parent->clear();
    *name = path;
    return;
  }
  // The POSIX root is a directory of its own, so "/a" has the parent "/".
  *parent = path.substr(0, (!drive_letters && cut == 0) ? 1 : cut);
  *name = path.substr(cut + 1);
}

}  // namespace corvio
