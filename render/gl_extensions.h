#pragma once
#include <string_view>

namespace kestrova {

// Whether `name` occurs in a space-separated extension list as a whole word:
// at the very start or after a space, and followed by a space or the end.
// An occurrence that is only the start of a longer name does not count.
bool HasExtension(std::string_view list, std::string_view name);

// Multisample count to ask for given the most the driver offers: 4, else 2,
// else none.
int ChooseSampleCount(int maxSamples);

}  // namespace kestrova
