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
  std::vector<uint8_t> bottomUp(image.pixels.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glFinish();
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  const size_t row = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    std::memcpy(image.pixels.data() + static_cast<size_t>(y) * row,
                bottomUp.data() + static_cast<size_t>(height - 1 - y) * row, row);
  }
  return image;
}

}  // namespace kestrova
