#pragma once
#include "scene/rgba_image.h"

namespace kestrova {

// Reads the current GL colour buffer (width x height from the origin) into
// top-down RGBA rows.
RgbaImage ReadFramebuffer(int width, int height);

}  // namespace kestrova
