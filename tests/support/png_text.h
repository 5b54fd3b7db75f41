#pragma once
// The text chunks of a PNG file as libpng itself reads them.
#include <map>
#include <string>

namespace kestrova::test {

std::map<std::string, std::string> PngText(const std::string& path);

}  // namespace kestrova::test
