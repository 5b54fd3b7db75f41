#include "qimage_bridge.h"

#include <cstring>

namespace kestrova {

RgbaImage FromQImage(const QImage& source) {
  if (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32) {
    // What decoded JPEGs and BMPs are: 0xAARRGGBB words, turned into R, G,
    // B, A bytes in one pass instead of a converted copy and then a copy.
    const bool opaque = source.format() == QImage::Format_RGB32;
    RgbaImage out;
    out.width = source.width();
    out.height = source.height();
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
    uint8_t* to = out.pixels.data();
    for (int y = 0; y < out.height; ++y) {
      const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
      for (int x = 0; x < out.width; ++x, to += 4) {
        const QRgb pixel = from[x];
        to[0] = static_cast<uint8_t>(qRed(pixel));
        to[1] = static_cast<uint8_t>(qGreen(pixel));
        to[2] = static_cast<uint8_t>(qBlue(pixel));
        to[3] = opaque ? 255 : static_cast<uint8_t>(qAlpha(pixel));
      }
    }
    return out;
  }
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
