#pragma once
#include <gtest/gtest.h>

#include <string>

#include "scene/rgba_image.h"

namespace kestrova::test {

// Compares `actual` with the committed baseline tests/baselines/<name>.png.
// Passes when the mean absolute difference per channel is at most
// `tolerance` (0 to 255) and no more than 1% of pixels differ by over 64 in any
// channel. On failure, or when the baseline is missing, the actual image is
// saved as <build>/test-output/<name>.png for a person to look at.
// With KESTROVA_UPDATE_BASELINES=1 the baseline is (re)written and the test
// fails so that nobody commits one unseen by accident.
::testing::AssertionResult MatchesBaseline(const RgbaImage& actual, const std::string& name,
                                           double tolerance = 2.0);

bool SavePng(const RgbaImage& image, const std::string& path);
RgbaImage LoadPng(const std::string& path);

}  // namespace kestrova::test

#define EXPECT_MATCHES_BASELINE(image, name) \
  EXPECT_TRUE(::kestrova::test::MatchesBaseline((image), (name)))
