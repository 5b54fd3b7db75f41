#pragma once
// Whether a picture drawn large (in tiles, supersampled, through any path)
// is the small picture of the same shot, enlarged: the product's outline
// and the luminance's structure, measured here and not by the renderer.
#include <gtest/gtest.h>

#include "scene/rgba_image.h"

namespace kestrova::test {

// Area-averaged down (or up) to width x height, in the picture's own
// values (alpha weighting the colours).
RgbaImage Resample(const RgbaImage& image, int width, int height);

// The box round everything that is not the background (the colour of the
// top-left pixel, or alpha 0), as shares of the width and height: left,
// right, top, bottom. All -1 when there is nothing but background.
struct Outline {
  double left = -1, right = -1, top = -1, bottom = -1;
  bool found() const { return left >= 0; }
};
Outline OutlineOf(const RgbaImage& image);

// The mean structural similarity of two pictures of one size, on the
// luminance of each laid over white, in 8 x 8 windows.
double LumaSsim(const RgbaImage& a, const RgbaImage& b);

// `large` shrunk to `small`'s size has its outline within 1 % of the
// picture of `small`'s and an SSIM of at least 0.97 with it.
::testing::AssertionResult IsTheSmallShotEnlarged(const RgbaImage& small, const RgbaImage& large);

}  // namespace kestrova::test
