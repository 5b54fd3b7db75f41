#include "builtin_bitmap.h"

#include <cmath>

namespace kestrova {

std::vector<uint8_t> BuiltinBitmapBgr() {
  std::vector<uint8_t> bgr(kBuiltinBitmapSize * kBuiltinBitmapSize * 3);
  for (int y = 0; y < kBuiltinBitmapSize; ++y) {
    for (int x = 0; x < kBuiltinBitmapSize; ++x) {
      // A deep blue field with an amber diamond: the emblem of the default box.
      const double cx = x - 31.5;
      const double cy = y - 31.5;
      const bool diamond = std::fabs(cx) + std::fabs(cy) < 22.0;
      const bool inner = std::fabs(cx) + std::fabs(cy) < 12.0;
      uint8_t r = static_cast<uint8_t>(20 + y / 4);
      uint8_t g = static_cast<uint8_t>(40 + y / 3);
      uint8_t b = static_cast<uint8_t>(90 + y);
      if (diamond && !inner) {
        r = 250;
        g = 170;
        b = 40;
      }
      uint8_t* p = &bgr[static_cast<size_t>((y * kBuiltinBitmapSize + x) * 3)];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return bgr;
}

}  // namespace kestrova
