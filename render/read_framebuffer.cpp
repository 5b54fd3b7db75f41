#include "read_framebuffer.h"

#include <GL/gl.h>

#include <cstring>

namespace kestrova {

RgbaImage ReadFramebuffer(int width, int height) {
  RgbaImage image;
  if (width < 1 || height < 1) return image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glFinish();
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
  // GL rows run bottom-up: turned over in place, not through a second
  // picture-sized buffer.
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> spare(row);
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = image.pixels.data() + static_cast<size_t>(top) * row;
    uint8_t* b = image.pixels.data() + static_cast<size_t>(bottom) * row;
    std::memcpy(spare.data(), a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, spare.data(), row);
  }
  return image;
}

}  // namespace kestrova
