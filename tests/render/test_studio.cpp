// The studio look, judged from its pictures: which faces are lit, where the
// floor darkens, framing, the lens, sharpness, transparency, repeatability.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <QImage>

#include "render/export_image.h"
#include "render/texture_loader.h"
#include "formats/environment_picture.h"
#include "render/studio/environment_map.h"
#include "render/studio/studio_camera.h"
#include "render/studio/studio_renderer.h"
#include "render/studio/studio_setup.h"
#include "tests/support/colour_difference.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/radiance_writer.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;

double linear(uint8_t v) {
  const double c = v / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

bool isBackground(const uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }
bool isGrey(const uint8_t* p) { return std::abs(p[0] - p[1]) < 6 && std::abs(p[1] - p[2]) < 6; }

// Which of red, green and blue leads a pixel by a clear margin; -1 for none.
int leading(const uint8_t* p) {
  for (int c = 0; c < 3; ++c) {
    if (p[c] > 40 && p[c] > 2 * p[(c + 1) % 3] + 10 && p[c] > 2 * p[(c + 2) % 3] + 10) return c;
  }
  return -1;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

class StudioTest : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    test::StillTestBox(*scene_);
    scene_->look.studio = true;
    scene_->studioFloor.shadow = true;
  }

  // Red front and back, green sides, blue top and bottom.
  void colourFaces() {
    const uint32_t red = test::MakeFlatTexture(220, 30, 30);
    const uint32_t green = test::MakeFlatTexture(30, 200, 30);
    const uint32_t blue = test::MakeFlatTexture(30, 30, 220);
    auto& t = scene_->textureSlot;
    t[kSlotBoxFront] = t[kSlotBoxBack] = red;
    t[kSlotBoxLeft] = t[kSlotBoxRight] = green;
    t[kSlotBoxTop] = t[kSlotBoxBottom] = blue;
  }

  RgbaImage draw(int width = kW, int height = kH, bool transparent = false) {
    ExportOptions options;
    options.width = width;
    options.height = height;
    options.transparent = transparent;
    std::string error;
    RgbaImage image = RenderExport(*scene_, host_, options, &error);
    EXPECT_FALSE(image.pixels.empty()) << error;
    return image;
  }

  // The median of each colour group's leading channel.
  std::array<double, 3> groupBrightness(const RgbaImage& image) {
    std::array<std::vector<double>, 3> values;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const uint8_t* p = image.at(x, y);
        const int c = leading(p);
        if (c >= 0) values[static_cast<size_t>(c)].push_back(p[c]);
      }
    }
    for (const auto& v : values) EXPECT_GT(v.size(), 50u) << "a face group is missing from the picture";
    return {median(values[0]), median(values[1]), median(values[2])};
  }

  std::unique_ptr<SceneState> scene_;
  RenderHost host_;
};

TEST_F(StudioTest, FacesTurnedAwayFromTheKeyAreDarkerWhereTheClassicFrameIsFlat) {
  colourFaces();
  scene_->look.studio = false;
  scene_->studioFloor.shadow = false;
  const std::array<double, 3> classic = groupBrightness(draw());
  EXPECT_NEAR(classic[0], 220, 2);
  EXPECT_NEAR(classic[1], 200, 2);
  EXPECT_NEAR(classic[2], 220, 2);
  scene_->look.studio = true;
  const std::array<double, 3> studio = groupBrightness(draw());
  // Relative to each face's own colour: lit differently, by a clear margin.
  const double front = studio[0] / 220, side = studio[1] / 200, top = studio[2] / 220;
  EXPECT_GT(std::fabs(front - side), 0.08) << front << " " << side;
  EXPECT_GT(std::fabs(front - top), 0.03) << front << " " << top;
  EXPECT_GT(std::fabs(side - top), 0.03) << side << " " << top;
}

TEST_F(StudioTest, AFaceTurnedToTheKeyShowsItsArtworksOwnColours) {
  // Turned on the floor, the front faces the key light (which stands
  // higher than the camera).
  const studio::StudioSetup setup = *studio::BuiltInStudio("bright");
  const studio::V3 key = setup.lights.front().direction;
  scene_->rotation = {10, static_cast<float>(std::atan2(key[0], key[2]) * 180 / M_PI), 0};
  scene_->look.fit = 10;
  // Patches of mid colours a cover might carry.
  const uint8_t patches[][3] = {{200, 60, 50}, {60, 140, 70}, {70, 90, 180}, {150, 150, 150}, {230, 190, 60}};
  for (const auto& patch : patches) {
    scene_->textureSlot[kSlotBoxFront] = test::MakeFlatTexture(patch[0], patch[1], patch[2]);
    const RgbaImage image = draw();
    // The front fills the middle of the picture: as a person sees it, the
    // patch's own colour (CIEDE2000 under 3, a difference hard to tell).
    const uint8_t* p = image.at(kW / 2, kH / 2);
    const double difference = test::DeltaE2000(test::SrgbToLab(p), test::SrgbToLab(patch));
    EXPECT_LT(difference, 3.0) << "patch " << int(patch[0]) << "," << int(patch[1]) << "," << int(patch[2])
                               << " drawn " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]);
  }
}

// The colour difference the test above judges by, against the pairs its
// authors published with it (Sharma, Wu and Dalal, 2005, table 1).
TEST(ColourDifference, Ciede2000GivesThePublishedDifferences) {
  struct Pair {
    std::array<double, 3> a, b;
    double difference;
  };
  const Pair pairs[] = {
      {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425}, {{50, 3.1571, -77.2803}, {50, 0, -82.7485}, 2.8615},
      {{50, 2.8361, -74.0200}, {50, 0, -82.7485}, 3.4412}, {{50, 0, 0}, {50, -1, 2}, 2.3669},
      {{50, 2.5, 0}, {73, 25, -18}, 27.1492},              {{50, 2.5, 0}, {61, -5, 29}, 22.8977},
      {{50, 2.5, 0}, {56, -27, -3}, 31.9030},              {{50, 2.5, 0}, {58, 24, 15}, 19.4535},
      {{50, 2.5, 0}, {50, 3.1736, 0.5854}, 1.0000},
  };
  for (const Pair& pair : pairs) {
    EXPECT_NEAR(test::DeltaE2000(pair.a, pair.b), pair.difference, 1e-4) << pair.b[0] << " " << pair.b[1] << " " << pair.b[2];
    EXPECT_NEAR(test::DeltaE2000(pair.b, pair.a), pair.difference, 1e-4) << "the difference is symmetric";
  }
}

TEST_F(StudioTest, TheFrontIsEvenlyLitWithoutASpot) {
  const uint32_t grey = test::MakeFlatTexture(180, 180, 180);
  for (auto& slot : scene_->textureSlot) slot = test::MakeFlatTexture(40, 40, 200);
  scene_->textureSlot[kSlotBoxFront] = grey;
  scene_->lightingMode = 2;  // the classic spot must not reach the studio
  const RgbaImage image = draw();
  std::vector<double> front;
  for (size_t i = 0; i < image.pixels.size(); i += 4) {
    const uint8_t* p = &image.pixels[i];
    if (isGrey(p) && !isBackground(p) && p[0] > 60 && p[0] < 250) front.push_back(linear(p[0]));
  }
  ASSERT_GT(front.size(), 2000u);
  std::sort(front.begin(), front.end());
  const double fifth = front[front.size() / 20];
  EXPECT_GE(fifth, 0.6 * front[front.size() / 2]);
}

// With the shadow, and with a reflection alone (kept faint here, so the
// floor under it shows): the product stands on a contact shadow.
TEST_F(StudioTest, TheFloorIsDarkestRightUnderTheProductsLowestEdge) {
  for (const bool shadowOn : {true, false}) {
  SCOPED_TRACE(shadowOn ? "shadow" : "reflection alone");
  colourFaces();
  scene_->look.fit = 20;
  scene_->studioFloor.shadow = shadowOn;
  scene_->studioFloor.reflection = !shadowOn;
  scene_->studioFloor.reflectionStrength = 1;
  const RgbaImage image = draw();
  // The lowest pixel of the product, and the floor straight below it.
  int lowestX = -1, lowestY = -1;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      if (leading(image.at(x, y)) >= 0) lowestX = x, lowestY = y;
    }
  }
  ASSERT_GE(lowestY, 0);
  ASSERT_LT(lowestY + 30, kH) << "the product must stand inside the picture";
  const int nearFloor = (image.at(lowestX, lowestY + 3)[0] + image.at(lowestX, lowestY + 3)[1]) / 2;
  const int farFloor = (image.at(lowestX, lowestY + 25)[0] + image.at(lowestX, lowestY + 25)[1]) / 2;
  EXPECT_LT(nearFloor + 5, farFloor) << "contact " << nearFloor << ", further down " << farFloor;
  EXPECT_LT(nearFloor, 250) << "the contact must show on white";
  }
}

// The product and the shadow a viewer sees (the floor 15 % darker or
// more), inside the margin and centred; the shadow's faint tail may run on.
TEST_F(StudioTest, FitKeepsTheProductAndItsSeenShadowInsideItsMarginCentred) {
  colourFaces();
  for (const int margin : {0, 10, 25}) {
    scene_->look.fit = margin;
    for (const auto& rotation : {Vec3{30, 30, 0}, Vec3{10, -60, 0}, Vec3{50, 200, 0}}) {
      scene_->rotation = rotation;
      const RgbaImage image = draw();
      int x0 = kW, x1 = -1, y0 = kH, y1 = -1;
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          const uint8_t* p = image.at(x, y);
          if (isBackground(p) || (isGrey(p) && p[0] > 255 * 0.85 + 2)) continue;
          x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
      }
      ASSERT_GE(x1, 0);
      const double left = x0 / double(kW), right = (kW - 1 - x1) / double(kW);
      const double top = y0 / double(kH), bottom = (kH - 1 - y1) / double(kH);
      const double slack = 0.02;
      EXPECT_GE(std::min({left, right, top, bottom}), margin / 100.0 - slack) << margin;
      // The tightest side is at the margin, both axes centred.
      const double tightest = std::min(std::min(left, right), std::min(top, bottom));
      EXPECT_LE(tightest, margin / 100.0 + slack) << margin;
      EXPECT_NEAR(left, right, 0.03) << margin;
      EXPECT_NEAR(top, bottom, 0.03) << margin;
    }
  }
}

TEST_F(StudioTest, ALongerLensKeystonesLess) {
  colourFaces();
  scene_->rotation = {35, 0, 0};  // looking down on the front
  scene_->look.fit = 10;
  auto taper = [&](float lens) {
    scene_->look.lens = lens;
    const RgbaImage image = draw();
    // The front's width along its top and its bottom rows.
    std::vector<std::pair<int, int>> rows;
    for (int y = 0; y < kH; ++y) {
      int first = -1, last = -1;
      for (int x = 0; x < kW; ++x) {
        if (leading(image.at(x, y)) == 0) {
          if (first < 0) first = x;
          last = x;
        }
      }
      if (first >= 0) rows.emplace_back(y, last - first + 1);
    }
    EXPECT_GT(rows.size(), 20u);
    return double(rows[2].second) / rows[rows.size() - 3].second;
  };
  const double wide = taper(24), normal = taper(50), tele = taper(135);
  EXPECT_GT(wide, normal + 0.02);
  EXPECT_GT(normal, tele + 0.01);
  // Smoothed edges take a partly covered pixel off each end of a row.
  EXPECT_NEAR(tele, 1.0, 0.1);
}

TEST_F(StudioTest, AFineGratingShownAtItsOwnSizeKeepsItsContrast) {
  scene_->rotation = {0, 0, 0};
  scene_->look.fit = 5;
  scene_->studioFloor.shadow = false;
  for (auto& slot : scene_->textureSlot) slot = test::MakeFlatTexture(40, 40, 200);
  // Find how wide the front is shown, then draw at the size that shows it
  // about 1.41 x 128 pixels wide, where the classic frame's power of two
  // shrinks a picture most, and give it a picture of exactly that width.
  scene_->textureSlot[kSlotBoxFront] = test::MakeFlatTexture(200, 40, 40);
  auto frontWidth = [&](const RgbaImage& picture, int* from, int* to) {
    *from = -1;
    for (int x = 0; x < picture.width; ++x) {
      if (leading(picture.at(x, picture.height / 2)) == 0) {
        if (*from < 0) *from = x;
        *to = x;
      }
    }
    return *to - *from + 1;
  };
  int first = -1, last = -1;
  const int atTestSize = frontWidth(draw(), &first, &last);
  ASSERT_GT(atTestSize, 50);
  const double grow = 181.0 / atTestSize;
  const int w = static_cast<int>(kW * grow), h = static_cast<int>(kH * grow);
  RgbaImage image = draw(w, h);
  const int shown = frontWidth(image, &first, &last);
  ASSERT_NEAR(shown, 181, 4);
  // A cosine of 6 pixels a period across, 128 +- 100 in sRGB, as a picture
  // file of that width: the classic frame keeps it at the nearest power of
  // two, the studio at its own size.
  QImage file(shown, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < shown; ++x) {
      const int v = static_cast<int>(std::lround(128 + 100 * std::cos(2 * M_PI * x / 6.0)));
      file.setPixel(x, y, qRgb(v, v, v));
    }
  }
  const std::string path = ::testing::TempDir() + "grating.png";
  ASSERT_TRUE(file.save(QString::fromStdString(path)));
  scene_->imagePathIsAbsolute = 2;
  ASSERT_TRUE(LoadTexture(*scene_, path, scene_->textureSlot[kSlotBoxFront]));
  image = draw(w, h);
  const double inHigh = linear(228), inLow = linear(28);
  const double input = (inHigh - inLow) / (inHigh + inLow);
  // Each period's own contrast, in linear light, along the middle row.
  std::vector<double> kept;
  for (int x = first + 6; x + 6 < last - 6; x += 6) {
    double high = 0, low = 1;
    for (int k = 0; k < 6; ++k) {
      const double v = linear(image.at(x + k, h / 2)[1]);
      high = std::max(high, v), low = std::min(low, v);
    }
    kept.push_back((high - low) / (high + low) / input);
  }
  ASSERT_GT(kept.size(), 10u);
  EXPECT_GE(median(kept), 0.82);
}

TEST_F(StudioTest, TransparentCornersAreClearAndTheShadowIsPartlySeeThrough) {
  colourFaces();
  scene_->look.fit = 10;
  const RgbaImage image = draw(kW, kH, true);
  for (const auto& [x, y] : {std::pair{0, 0}, {kW - 1, 0}, {0, kH - 1}, {kW - 1, kH - 1}}) {
    EXPECT_EQ(image.at(x, y)[3], 0) << x << "," << y;
  }
  int partial = 0, solid = 0, edges = 0;
  for (int y = 1; y + 1 < kH; ++y) {
    for (int x = 1; x + 1 < kW; ++x) {
      const uint8_t alpha = image.at(x, y)[3];
      if (alpha == 255) ++solid;
      if (alpha <= 10 || alpha >= 200) continue;
      bool besideProduct = false;
      for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
          const int u = std::clamp(x + dx, 0, kW - 1), v = std::clamp(y + dy, 0, kH - 1);
          besideProduct = besideProduct || image.at(u, v)[3] >= 250;
        }
      }
      if (besideProduct) {
        ++edges;  // the product's own edge, partly covering the pixel
        continue;
      }
      // The shadow: see-through, and black however clear.
      ++partial;
      EXPECT_LT(image.at(x, y)[0], 40) << x << "," << y;
    }
  }
  EXPECT_GT(solid, 2000);
  EXPECT_GT(partial, 300);
  EXPECT_GT(edges, 100) << "the product's edges are smoothed at the picture's own size";
}

TEST_F(StudioTest, TheSameShotGivesTheSameBytesAndTilesMeetWithoutASeam) {
  colourFaces();
  scene_->studioFloor.reflection = true;
  const RgbaImage first = draw();
  const RgbaImage second = draw();
  EXPECT_EQ(first.pixels, second.pixels);
  ExportOptions tiled;
  tiled.width = kW;
  tiled.height = kH;
  tiled.maxTile = 100;
  std::string error;
  const RgbaImage pieces = RenderExport(*scene_, host_, tiled, &error);
  ASSERT_EQ(pieces.pixels.size(), first.pixels.size()) << error;
  size_t differing = 0;
  for (size_t i = 0; i < first.pixels.size(); ++i) differing += std::abs(first.pixels[i] - pieces.pixels[i]) > 2;
  EXPECT_LT(differing, first.pixels.size() / 500);
}

TEST(StudioCamera, TheLensSetsTheAngleOfViewOnAFullFrame) {
  // 36 x 24 mm: a 50 mm lens sees 26.99 degrees high, 24 mm 53.13.
  EXPECT_NEAR(studio::VerticalFieldOfView(50), 26.99, 0.01);
  EXPECT_NEAR(studio::VerticalFieldOfView(24), 53.13, 0.01);
  EXPECT_NEAR(studio::VerticalFieldOfView(29), 45.0, 0.6);
}

}  // namespace

TEST_F(StudioTest, ABlueSkyTurnsAWhiteProductBluishAndABrokenOneIsRefused) {
  for (auto& slot : scene_->textureSlot) slot = test::MakeFlatTexture(235, 235, 235);
  scene_->look.fit = 10;
  auto topFace = [&]() {
    const RgbaImage image = draw();
    // The box's top, seen from above: the picture's highest product pixels.
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint8_t* p = image.at(x, y);
        if (!isBackground(p) && p[0] > 100 && y + 4 < kH) return std::array<int, 3>{image.at(x, y + 3)[0],
                                                                                   image.at(x, y + 3)[1],
                                                                                   image.at(x, y + 3)[2]};
      }
    }
    return std::array<int, 3>{0, 0, 0};
  };
  const std::array<int, 3> studio = topFace();
  EXPECT_NEAR(studio[0], studio[2], 12) << "the built-in studio is about white";
  // A sky of deep blue above a grey ground.
  const std::string sky = ::testing::TempDir() + "blue-sky.hdr";
  const std::vector<uint8_t> bytes = test::RadianceBytes(64, 32, [](int, int y) {
    return y < 16 ? std::array<float, 3>{0.15f, 0.35f, 1.2f} : std::array<float, 3>{0.3f, 0.3f, 0.3f};
  });
  std::ofstream(sky, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
  scene_->look.environment = sky;
  const std::array<int, 3> blue = topFace();
  EXPECT_GT(blue[2], blue[0] + 15) << "blue " << blue[2] << " red " << blue[0];

  // A broken picture is refused by name and nothing is drawn.
  std::ofstream(sky, std::ios::binary | std::ios::trunc) << "#?RADIANCE\nnot really";
  ExportOptions options;
  options.width = kW;
  options.height = kH;
  std::string error;
  EXPECT_TRUE(RenderExport(*scene_, host_, options, &error).pixels.empty());
  EXPECT_NE(error.find("blue-sky.hdr"), std::string::npos) << error;
}

namespace {

// A texture of rows from `top` to `bottom`: a smooth sky, in which any
// crack or wrong block shows.
uint32_t MakeGradientTexture(int width, int height, std::array<int, 3> top, std::array<int, 3> bottom) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (size_t c = 0; c < 3; ++c) pixels.push_back(static_cast<uint8_t>(top[c] + (bottom[c] - top[c]) * y / (height - 1)));
      pixels.push_back(255);
    }
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return name;
}

double luminanceOf(const uint8_t* p) { return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]; }

double percentile(std::vector<double> v, double share) {
  if (v.empty()) return 0;
  const auto k = static_cast<long>(share * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + k, v.end());
  return v[static_cast<size_t>(k)];
}

}  // namespace

// A smooth light cover at the picture's own size: no pixel (or 2 x 2 block)
// stands out from the ring of pixels around it, in any set-up.
TEST_F(StudioTest, ASmoothCoverHasNoCracksAndAFlatGreyFaceGradesInEverySetUp) {
  for (const std::string setup : {"bright", "soft", "dark"}) {
    SCOPED_TRACE(setup);
    scene_->look.setup = setup;
    // The shot's own framing at 1280 x 960: the front large enough for the
    // texture's footprint to change size across it.
    scene_->look.fit = -1;
    scene_->textureSlot[kSlotBoxFront] = MakeGradientTexture(900, 1200, {200, 220, 250}, {250, 250, 250});
    const RgbaImage sky = draw(1280, 960);
    int odd = 0;
    for (int y = 2; y + 2 < sky.height; ++y) {
      for (int x = 2; x + 2 < sky.width; ++x) {
        std::vector<double> ring;
        for (int k = -2; k <= 2; ++k) {
          for (const auto& [dx, dy] : {std::pair{k, -2}, {k, 2}, {-2, k}, {2, k}}) ring.push_back(luminanceOf(sky.at(x + dx, y + dy)));
        }
        const auto [low, high] = std::minmax_element(ring.begin(), ring.end());
        if (*high - *low < 3 && std::fabs(luminanceOf(sky.at(x, y)) - percentile(ring, 0.5)) > 4) ++odd;
      }
    }
    EXPECT_EQ(odd, 0);

    // Grey card facing the camera: lit by lights that stand somewhere, it
    // grades across its width and height as under a soft box.
    scene_->rotation = {10, 0, 0};
    scene_->textureSlot[kSlotBoxFront] = test::MakeFlatTexture(128, 128, 128);
    const RgbaImage grey = draw();
    std::vector<double> front;
    for (int y = kH / 4; y < kH * 3 / 4; ++y) {
      for (int x = kW / 3; x < kW * 2 / 3; ++x) front.push_back(luminanceOf(grey.at(x, y)));
    }
    EXPECT_GE(percentile(front, 0.95) - percentile(front, 0.05), 4);
    scene_->rotation = {30, 30, 0};
  }
}

TEST_F(StudioTest, TheDarkSetUpKeepsTheShadowSideDarkerThanTheBrightOne) {
  colourFaces();
  std::array<double, 2> side{};
  for (size_t i = 0; i < 2; ++i) {
    scene_->look.setup = i == 0 ? "bright" : "dark";
    // Each on its own sweep, as the command line and the window set it.
    const studio::StudioSetup setup = *studio::BuiltInStudio(scene_->look.setup);
    const studio::V3 sweep = setup.sweep.value_or(studio::V3{1, 1, 1});
    scene_->backgroundColor = {static_cast<float>(sweep[0]), static_cast<float>(sweep[1]), static_cast<float>(sweep[2])};
    // The green spine, turned from the key, however dim.
    const RgbaImage image = draw();
    std::vector<double> green;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint8_t* p = image.at(x, y);
        if (p[1] > p[0] + 6 && p[1] > p[2] + 6) green.push_back(p[1]);
      }
    }
    ASSERT_GT(green.size(), 50u);
    side[i] = median(green);
  }
  EXPECT_GT(side[0] - side[1], 30) << side[0] << " " << side[1];
  const studio::StudioSetup dark = *studio::BuiltInStudio("dark");
  ASSERT_TRUE(dark.sweep.has_value());
  EXPECT_LT((*dark.sweep)[0], 0.3) << "a dark sweep";
}

// The floor's one shadow falls away from the environment's sun.
TEST_F(StudioTest, AnEnvironmentsSunThrowsTheShadowToTheOtherSide) {
  colourFaces();
  scene_->rotation = {30, 0, 0};
  scene_->look.fit = 5;
  auto shadowCentre = [&](double sunX) {
    const std::string path = ::testing::TempDir() + "sun.hdr";
    const std::vector<uint8_t> bytes = test::RadianceBytes(128, 64, [sunX](int x, int y) {
      const bool sun = std::abs(x - sunX * 128) < 4 && y > 14 && y < 22;  // about 45 degrees up
      return sun ? std::array<float, 3>{400, 400, 380} : std::array<float, 3>{0.4f, 0.4f, 0.45f};
    });
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    scene_->look.environment = path;
    const RgbaImage image = draw();
    // Where the grey floor darkens, weighted by how much, against the
    // product's own middle.
    double sum = 0, weight = 0, product = 0, count = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint8_t* p = image.at(x, y);
        if (leading(p) >= 0) {
          product += x, ++count;
        } else if (isGrey(p) && p[0] < 250) {
          sum += x * (255.0 - p[0]), weight += 255.0 - p[0];
        }
      }
    }
    EXPECT_GT(weight, 0);
    EXPECT_GT(count, 0);
    return sum / std::max(weight, 1.0) - product / std::max(count, 1.0);
  };
  // The picture's left quarter looks to the camera's left.
  EXPECT_GT(shadowCentre(0.25), 5) << "sun on the left, shadow on the right";
  EXPECT_LT(shadowCentre(0.75), -5) << "sun on the right, shadow on the left";
}

// A glossy coat mirrors the studio: in the default pose the front catches
// the set-up's strip light, a bright patch a matt front never shows.
TEST_F(StudioTest, AGlossyFrontCatchesTheStripLightInTheDefaultPose) {
  for (auto& slot : scene_->textureSlot) slot = test::MakeFlatTexture(200, 40, 40);
  scene_->textureSlot[kSlotBoxFront] = test::MakeFlatTexture(50, 50, 60);
  scene_->look.gloss = 0;
  const RgbaImage matt = draw();
  scene_->look.gloss = 100;
  const RgbaImage gloss = draw();
  // The front's pixels, found in the matt picture (the camera is the same).
  std::vector<double> mattFront, glossFront;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint8_t* p = matt.at(x, y);
      if (!(p[2] > p[0] + 2 && p[0] < 120 && std::abs(p[0] - p[1]) < 6)) continue;
      mattFront.push_back(luminanceOf(p));
      glossFront.push_back(luminanceOf(gloss.at(x, y)));
    }
  }
  ASSERT_GT(mattFront.size(), 2000u);
  EXPECT_LT(percentile(mattFront, 0.99) - percentile(mattFront, 0.5), 15) << "a matt front grades, but has no highlight";
  EXPECT_GT(percentile(glossFront, 0.99) - percentile(glossFront, 0.5), 40)
      << percentile(glossFront, 0.5) << " " << percentile(glossFront, 0.99);
}

// The environment's spherical harmonics against their analytic values: a
// constant sky gives L00 = c * 4 pi * Y00 and nothing else (each pixel
// weighted by its solid angle, sin theta with it); a bright spot straight
// ahead of the camera's view (the picture's middle column, looking to -z)
// or on its left (-x) turns the first-order terms that way.
TEST(StudioEnvironment, SphericalHarmonicsOfKnownSkysHaveTheirAnalyticValues) {
  FloatPicture constant;
  constant.width = 256;
  constant.height = 128;
  constant.rgb.assign(static_cast<size_t>(constant.width) * constant.height * 3, 2.0f);
  const std::vector<studio::V3> sh = studio::ProjectEnvironment(constant);
  ASSERT_EQ(sh.size(), 9u);
  EXPECT_NEAR(sh[0][0], 2.0 * 4 * M_PI * 0.282095, 0.01);
  for (size_t k = 1; k < 9; ++k) EXPECT_NEAR(sh[k][0], 0.0, 0.01) << k;

  auto spot = [](int column) {
    FloatPicture p;
    p.width = 256;
    p.height = 128;
    p.rgb.assign(static_cast<size_t>(p.width) * p.height * 3, 0.0f);
    for (int y = 60; y < 68; ++y) {
      for (int x = column - 4; x < column + 4; ++x) {
        for (size_t c = 0; c < 3; ++c) p.rgb[(static_cast<size_t>(y) * p.width + x) * 3 + c] = 100;
      }
    }
    return studio::ProjectEnvironment(p);
  };
  const std::vector<studio::V3> ahead = spot(128), left = spot(64);
  // Order: 0, then y, z, x for the first order.
  EXPECT_LT(ahead[2][0], -0.5 * std::fabs(ahead[3][0]) - 1e-3) << "the middle looks to -z";
  EXPECT_LT(left[3][0], -0.5 * std::fabs(left[2][0]) - 1e-3) << "the left quarter looks to -x";
  EXPECT_NEAR(ahead[1][0], 0.0, std::fabs(ahead[2][0]) * 0.1) << "on the horizon: nothing up or down";
}

// The strength is how much of the floor's light the shadow takes: at 100
// the darkest floor in sight (the contact's penumbra; the core lies under
// the product) loses well over half its light, and half the strength takes
// half as much.
TEST_F(StudioTest, TheShadowsCoreIsAsDarkAsItsStrengthAsks) {
  colourFaces();
  scene_->look.fit = 20;
  scene_->studioFloor.reflection = false;
  // The floor's darkest grey, away from the product's edge.
  auto darkestFloor = [this](int strength) {
    scene_->studioFloor.shadowStrength = strength;
    const RgbaImage image = draw();
    int darkest = 255;
    for (int y = 2; y + 2 < kH; ++y) {
      for (int x = 2; x + 2 < kW; ++x) {
        bool floorOnly = true;
        for (int dy = -2; dy <= 2 && floorOnly; ++dy) {
          for (int dx = -2; dx <= 2 && floorOnly; ++dx) floorOnly = isGrey(image.at(x + dx, y + dy));
        }
        if (floorOnly) darkest = std::min(darkest, static_cast<int>(image.at(x, y)[1]));
      }
    }
    return darkest;
  };
  const int none = darkestFloor(0);
  const int full = darkestFloor(100);
  const int half = darkestFloor(50);
  EXPECT_GT(none, 240) << "no shadow at strength 0";
  // In linear light the darkening is proportional to the strength.
  const double taken = 1 - linear(static_cast<uint8_t>(full)) / linear(static_cast<uint8_t>(none));
  EXPECT_GT(taken, 0.6) << "full " << full << ", none " << none;
  const double takenHalf = 1 - linear(static_cast<uint8_t>(half)) / linear(static_cast<uint8_t>(none));
  EXPECT_NEAR(takenHalf, taken / 2, 0.06) << "full " << full << ", half " << half << ", none " << none;
}

// A face the key lights at a grazing 75 to 85 degrees is shaded smoothly: the
// shadow map's depth, looked up on the face itself, would shadow the face
// in stripes (acne) at such angles.
TEST_F(StudioTest, AFaceLitAtAGrazingAngleShowsNoStripes) {
  const uint32_t blue = test::MakeFlatTexture(30, 30, 200);
  for (auto& slot : scene_->textureSlot) slot = blue;
  scene_->textureSlot[kSlotBoxFront] = test::MakeFlatTexture(210, 210, 40);
  scene_->rotation = {0, 0, 0};
  scene_->look.fit = 10;
  scene_->look.radius = 0;  // flat to its edges: a rounded edge turning to the sun brightens, rightly
  scene_->studioFloor.reflection = false;
  // The sun 40 degrees up, 76 to 84 degrees from the front's normal.
  for (const double sunX : {0.77, 0.785, 0.8}) {
    SCOPED_TRACE(sunX);
    const std::string path = ::testing::TempDir() + "grazing.hdr";
    const std::vector<uint8_t> bytes = test::RadianceBytes(256, 64, [sunX](int x, int y) {
      const bool sun = std::abs(x - sunX * 256) < 3 && y > 15 && y < 20;
      return sun ? std::array<float, 3>{3000, 3000, 2900} : std::array<float, 3>{0.05f, 0.05f, 0.05f};
    });
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    scene_->look.environment = path;
    const RgbaImage image = draw(640, 480);
    auto front = [&](int x, int y) {
      const uint8_t* p = image.at(x, y);
      return p[0] > p[2] + 30 && p[1] > p[2] + 30;
    };
    int inside = 0, odd = 0;
    for (int y = 3; y + 3 < image.height; ++y) {
      for (int x = 3; x + 3 < image.width; ++x) {
        bool whole = true;
        std::vector<int> ring;
        for (int dy = -3; dy <= 3 && whole; ++dy) {
          for (int dx = -3; dx <= 3 && whole; ++dx) {
            whole = front(x + dx, y + dy);
            if (std::max(std::abs(dx), std::abs(dy)) == 3) ring.push_back(image.at(x + dx, y + dy)[1]);
          }
        }
        if (!whole) continue;
        ++inside;
        std::nth_element(ring.begin(), ring.begin() + 12, ring.end());
        odd += std::abs(image.at(x, y)[1] - ring[12]) > 6;
      }
    }
    EXPECT_GT(inside, 20000) << "the front fills a good part of the picture";
    EXPECT_EQ(odd, 0) << "pixels off their surroundings: stripes";
  }
}

// While a drag turns the product, the window draws a cheaper frame (the
// product at half size, laid over the floor enlarged; the shadows from
// fewer points), then the full one once the shot rests. The cheaper frame
// must be the same picture, only softer: the product where the rested frame
// has it, the shadow the same shape.
TEST_F(StudioTest, AFrameDrawnDuringADragIsTheRestedFrameSofter) {
  colourFaces();
  auto frame = [this] {
    glViewport(0, 0, kW, kH);
    std::string error;
    EXPECT_TRUE(studio::DrawStudioFrame(*scene_, kW, kH, &error)) << error;
    RgbaImage image;
    image.width = kW, image.height = kH;
    image.pixels.resize(static_cast<size_t>(kW) * kH * 4);
    glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
    return image;
  };
  // Turns straight after each other: a drag (the first frames may still be
  // full ones, on a slow machine).
  RgbaImage dragged;
  for (int turn = 30; turn <= 34; ++turn) {
    scene_->rotation[1] = static_cast<float>(turn);
    dragged = frame();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const RgbaImage rested = frame();  // the same shot, at rest
  int product = 0, both = 0, differ = 0;
  double floorDifference = 0;
  int floorPixels = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint8_t* a = dragged.at(x, y);
      const uint8_t* b = rested.at(x, y);
      const bool inA = !isGrey(a), inB = !isGrey(b);
      product += inB;
      both += inA && inB;
      int most = 0;
      for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(a[c] - b[c]));
      differ += most > 2;
      if (!inA && !inB) floorDifference += most, ++floorPixels;
    }
  }
  ASSERT_GT(product, 2000) << "the product is missing from the rested frame";
  EXPECT_GT(differ, 100) << "the frame during the drag was not the cheaper one";
  EXPECT_GT(static_cast<double>(both) / product, 0.97) << "the product moved or shrank while dragged";
  EXPECT_LT(floorDifference / floorPixels, 2.0) << "the floor's shadow changed shape while dragged";
}
