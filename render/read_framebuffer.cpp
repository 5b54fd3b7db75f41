#include "read_framebuffer.h"

#include <GL/gl.h>


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
  FlipRowsInPlace(image.pixels.data(), static_cast<size_t>(width) * 4, height);
  return image;
}

}  // namespace kestrova
