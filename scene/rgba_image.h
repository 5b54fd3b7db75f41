#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrova {

// Pixels read back from a frame: RGBA bytes, rows top-down.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  const uint8_t* at(int x, int y) const {
    return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
  }
};

// Reads the current GL colour buffer (width x height from the origin) into
// top-down RGBA rows.
RgbaImage ReadFramebuffer(int width, int height);

}  // namespace kestrova
