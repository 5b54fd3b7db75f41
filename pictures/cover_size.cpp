#include "pictures/cover_size.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pictures/cmyk_jpeg.h"
#include "pictures/metafile_helper.h"
#include "pictures/picture.h"

namespace kestrova {

void CoverPixels(const Picture& picture, double wideMm, int* width, int* height) {
  *width = static_cast<int>(std::lround(picture.himetricWidth() * 96.0 / 2540));
  *height = static_cast<int>(std::lround(picture.himetricHeight() * 96.0 / 2540));
  if (*width < 1 || *height < 1) {
    *width = *height = 0;
    return;
  }
  if (picture.scalable()) {
    const double scale = 300 / 25.4 * wideMm / *width;
    *width = static_cast<int>(std::lround(*width * scale));
    *height = static_cast<int>(std::lround(*height * scale));
  }
}

std::string BoundCoverPixels(const Picture& picture, const std::string& name, int* width, int* height) {
  if (!picture.scalable()) return PictureTooLarge(name, static_cast<uint64_t>(*width), static_cast<uint64_t>(*height));
  // A 600 mm mug's wrap at 300 dots an inch would take gigabytes.
  const double w = *width, h = *height;
  const double fits = std::min({1.0, kMaxDrawingSide / std::max(w, h), std::sqrt(static_cast<double>(kMaxPictureMemory / 4) / (w * h))});
  *width = std::max(1, static_cast<int>(w * fits));
  *height = std::max(1, static_cast<int>(h * fits));
  return {};
}

}  // namespace kestrova
