#pragma once
// Mipmaps of sRGB pictures made on the processor: a software rasteriser
// compiles a shader of its own for glGenerateMipmap, a sixth of a second
// on the first picture of every run.
#include "scene/rgba_image.h"

namespace kestrova::studio {

// The next smaller level (half each side, rounded down, at least 1): each
// texel the mean of the two by two texels it covers (the last row or
// column again where a side is odd), colours in linear light, alpha as it
// stands.
RgbaImage HalvedInLinearLight(const RgbaImage& level);

}  // namespace kestrova::studio
