#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrova {

// Pixels of a frame or a decoded picture: RGBA bytes, rows top-down.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  const uint8_t* at(int x, int y) const {
    return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
  }
};

// Turns `rows` rows of `rowBytes` each upside down where they lie: GL rows
// run bottom-up, pictures top-down, and a second picture-sized buffer would
// double the peak.
inline void FlipRowsInPlace(uint8_t* pixels, std::size_t rowBytes, int rows) {
  std::vector<uint8_t> spare(rowBytes);
  for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = pixels + static_cast<std::size_t>(top) * rowBytes;
    uint8_t* b = pixels + static_cast<std::size_t>(bottom) * rowBytes;
    std::memcpy(spare.data(), a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, spare.data(), rowBytes);
  }
}

}  // namespace kestrova
