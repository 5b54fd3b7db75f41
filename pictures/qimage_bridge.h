#pragma once
// Between Qt's images and the frames the renderer reads back.
#include <QImage>

#include "scene/rgba_image.h"

namespace kestrova {

// Top-down RGBA rows of any QImage.
RgbaImage FromQImage(const QImage& source);

// A QImage over a copy of the pixels.
QImage ToQImage(const RgbaImage& image);

}  // namespace kestrova
