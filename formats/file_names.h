#pragma once
// File names as users type them: ".PNG" is a PNG as much as ".png" is.
#include <cctype>
#include <cstring>
#include <string>

namespace kestrova {

// Whether `name` ends in `suffix` (given in lower case), ignoring case.
inline bool EndsWithIgnoringCase(const std::string& name, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (name.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != suffix[i]) return false;
  }
  return true;
}

}  // namespace kestrova
