#include "qimage_bridge.h"

#include <cstring>

namespace kestrova {

RgbaImage FromQImage(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
  RgbaImage out;
  out.width = image.width();
  out.height = image.height();
  const size_t row = static_cast<size_t>(out.width) * 4;
  out.pixels.resize(row * static_cast<size_t>(out.height));
  for (int y = 0; y < out.height; ++y) {
    std::memcpy(out.pixels.data() + static_cast<size_t>(y) * row, image.constScanLine(y), row);
  }
  return out;
}

QImage ToQImage(const RgbaImage& image) {
  if (image.width < 1 || image.height < 1) return {};
  return QImage(image.pixels.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888)
      .copy();
}

}  // namespace kestrova
