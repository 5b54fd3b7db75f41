#pragma once
// Radiance .hdr pictures written by hand (flat RGBE scanlines), for tests
// that need an environment picture made outside the program.
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace kestrova::test {

// `colour(x, y)` gives each pixel's linear RGB; rows top-down.
inline std::vector<uint8_t> RadianceBytes(int width, int height,
                                          const std::function<std::array<float, 3>(int, int)>& colour,
                                          const std::string& sizeLine = {}) {
  const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" +
                             (sizeLine.empty() ? "-Y " + std::to_string(height) + " +X " + std::to_string(width)
                                               : sizeLine) +
                             "\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::array<float, 3> c = colour(x, y);
      const float largest = std::max({c[0], c[1], c[2]});
      if (largest < 1e-32f) {
        bytes.insert(bytes.end(), {0, 0, 0, 0});
        continue;
      }
      int exponent = 0;
      const float mantissa = std::frexp(largest, &exponent) * 256.0f / largest;
      for (float v : c) bytes.push_back(static_cast<uint8_t>(v * mantissa));
      bytes.push_back(static_cast<uint8_t>(exponent + 128));
    }
  }
  return bytes;
}

}  // namespace kestrova::test
