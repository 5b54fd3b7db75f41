#include "gl_extensions.h"

namespace kestrova {

bool HasExtension(std::string_view list, std::string_view name) {
  if (name.empty()) return false;
  size_t from = 0;
  while (true) {
    const size_t at = list.find(name, from);
    if (at == std::string_view::npos) return false;
    const size_t end = at + name.size();
    const bool startsWord = at == 0 || list[at - 1] == ' ';
    const bool endsWord = end == list.size() || list[end] == ' ';
    if (startsWord && endsWord) return true;
    from = at + 1;
  }
}

int ChooseSampleCount(int maxSamples) {
  if (maxSamples >= 4) return 4;
  if (maxSamples >= 2) return 2;
  return 0;
}

}  // namespace kestrova
