#pragma once
#include <cstddef>
#include <cstdint>
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

}  // namespace kestrova
