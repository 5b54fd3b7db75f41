// The studio floor, judged from the pictures: the product's own pixels, the
// shadow's fall-off under the contact line, transparency, the reflection.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "render/export_image.h"
#include "render/scene_initialiser.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;


class StudioFloorTest : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    test::StillTestBox(*scene_);
    // Upright and turned: the front's lower edge stands on the floor.
    scene_->rotation = {0, 30, 0};
    // Farther off and lower than the eye, so the floor shows below it.
    scene_->pan = {0, -1500, -150};
    const uint32_t grey = test::MakeFlatTexture(120, 120, 120);
    for (auto& slot : scene_->textureSlot) slot = grey;
    scene_->textureSlot[kSlotBoxFront] = test::MakeFlatTexture(255, 0, 0);
  }

  RgbaImage draw(const StudioFloor& floor, bool transparent = false) {
    scene_->studioFloor = floor;
    ExportOptions options;
    options.width = kW;
    options.height = kH;
    options.transparent = transparent;
    std::string error;
    RgbaImage image = RenderExport(*scene_, host_, options, &error);
    EXPECT_FALSE(image.pixels.empty()) << error;
    return image;
  }

  static bool background(const uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }
  static int grey(const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; }

  // The lowest pixel of the product in the floor-off picture: where it
  // touches the floor. Its column and row.
  static std::pair<int, int> contact(const RgbaImage& plain) {
    std::pair<int, int> lowest{-1, -1};
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        if (!background(plain.at(x, y))) lowest = {x, y};
      }
    }
    return lowest;
  }
  static int productRows(const RgbaImage& plain) {
    int top = kH, bottom = -1;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        if (background(plain.at(x, y))) continue;
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    return bottom - top + 1;
  }

  static StudioFloor floorOf(bool shadow, bool reflection) {
    StudioFloor floor;
    floor.shadow = shadow;
    floor.reflection = reflection;
    return floor;
  }

  RenderHost host_;
  std::unique_ptr<SceneState> scene_;
};

}  // namespace

TEST_F(StudioFloorTest, TheFloorNeverChangesTheProductsOwnPixels) {
  const RgbaImage plain = draw(StudioFloor{});
  ASSERT_GT(contact(plain).second, 0) << "the product is in the picture";
  for (const StudioFloor& floor : {floorOf(true, false), floorOf(false, true), floorOf(true, true)}) {
    const RgbaImage studio = draw(floor);
    int compared = 0;
    for (int y = 1; y + 1 < kH; ++y) {
      for (int x = 1; x + 1 < kW; ++x) {
        // Inside the silhouette: the pixel and its neighbours are product.
        bool inside = true;
        for (int dy = -1; dy <= 1 && inside; ++dy) {
          for (int dx = -1; dx <= 1 && inside; ++dx) inside = !background(plain.at(x + dx, y + dy));
        }
        if (!inside) continue;
        ++compared;
        for (int c = 0; c < 4; ++c) ASSERT_EQ(studio.at(x, y)[c], plain.at(x, y)[c]) << x << "," << y;
      }
    }
    EXPECT_GT(compared, 2000);
  }
}

TEST_F(StudioFloorTest, TheShadowDarkensUnderTheContactAndFadesOutWithinTheSoftness) {
  const RgbaImage plain = draw(StudioFloor{});
  const auto [x, y] = contact(plain);
  StudioFloor floor = floorOf(true, false);
  floor.shadowStrength = 80;
  floor.softness = 40;
  const RgbaImage studio = draw(floor);
  // The fade reaches 40 % of half the product's height past the footprint;
  // a pixel of rounding at each end.
  const int reach = static_cast<int>(0.4 * 0.5 * productRows(plain)) + 3;
  ASSERT_LT(y + reach, kH) << "the fade fits in the picture";
  EXPECT_LT(grey(studio.at(x, y + 1)), 235) << "darker just under the contact";
  int previous = grey(studio.at(x, y + 1));
  int between = 0;  // rows neither the darkest nor the background: no hard edge
  for (int row = y + 2; row <= y + reach; ++row) {
    const int value = grey(studio.at(x, row));
    EXPECT_GE(value, previous) << "lighter with distance, row " << row;
    between += value > grey(studio.at(x, y + 1)) && value < 255;
    previous = value;
  }
  EXPECT_GE(between, 2) << "a soft edge";
  EXPECT_TRUE(background(studio.at(x, y + reach))) << "back to the background by row " << y + reach;
  EXPECT_TRUE(background(studio.at(0, 0)));
}

TEST_F(StudioFloorTest, TransparentKeepsTheShadowAsPartialBlackAndTheCornersClear) {
  const RgbaImage plain = draw(StudioFloor{});
  const auto [x, y] = contact(plain);
  StudioFloor floor = floorOf(true, false);
  floor.shadowStrength = 80;
  const RgbaImage clear = draw(floor, true);
  for (const auto& [cx, cy] : {std::pair{0, 0}, {kW - 1, 0}, {0, kH - 1}, {kW - 1, kH - 1}}) {
    EXPECT_EQ(clear.at(cx, cy)[3], 0) << cx << "," << cy;
  }
  const uint8_t* under = clear.at(x, y + 1);
  EXPECT_GT(under[3], 0.1 * 255) << "some shadow";
  EXPECT_LT(under[3], 0.9 * 255) << "but never opaque";
  EXPECT_LT(under[0] + under[1] + under[2], 3 * 16) << "and black";
}

TEST_F(StudioFloorTest, TheReflectionOfARedFrontIsRedAndFainterThanTheFace) {
  scene_->backgroundColor = {0, 0, 0};
  ApplyClearColor(*scene_);
  const RgbaImage plain = draw(StudioFloor{});
  // The front's lowest row in the middle of its width.
  int left = kW, right = -1, bottom = -1;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint8_t* p = plain.at(x, y);
      if (p[0] > 200 && p[1] < 40 && p[2] < 40) {
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
    }
  }
  ASSERT_GE(right, left) << "the red front shows";
  const int x = (left + right) / 2;
  int faceRow = bottom;
  while (faceRow > 0 && !(plain.at(x, faceRow)[0] > 200)) --faceRow;
  StudioFloor floor = floorOf(false, true);
  floor.reflectionStrength = 50;
  const RgbaImage studio = draw(floor);
  const uint8_t* face = studio.at(x, faceRow);
  const uint8_t* mirrored = studio.at(x, faceRow + 4);
  EXPECT_GT(mirrored[0], mirrored[1] + 30) << "red over green";
  EXPECT_GT(mirrored[0], mirrored[2] + 30) << "red over blue";
  EXPECT_LT(mirrored[0], face[0]) << "fainter than the face";
  // Farther down it has faded more.
  EXPECT_LE(studio.at(x, faceRow + 12)[0], mirrored[0]);
}

TEST_F(StudioFloorTest, AnExportLeavesTheBackgroundAsItFoundIt) {
  scene_->backgroundColor = {0.25f, 0.5f, 0.75f};
  ApplyClearColor(*scene_);
  draw(floorOf(true, true), true);
  EXPECT_EQ(scene_->backgroundColor, (Vec3{0.25f, 0.5f, 0.75f}));
  GLfloat clear[4] = {};
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  EXPECT_FLOAT_EQ(clear[0], 0.25f);
  EXPECT_FLOAT_EQ(clear[1], 0.5f);
  EXPECT_FLOAT_EQ(clear[2], 0.75f);
}

TEST_F(StudioFloorTest, SupersampledTransparentEdgesAreStraightNotPremultiplied) {
  scene_->rotation = {20, 35, 10};
  for (int factor : {2, 3, 4}) {
    ExportOptions options;
    options.width = 160;
    options.height = 120;
    options.supersample = factor;
    options.transparent = true;
    std::string error;
    const RgbaImage clear = RenderExport(*scene_, host_, options, &error);
    scene_->backgroundColor = {0, 0, 0};
    ApplyClearColor(*scene_);
    options.transparent = false;
    const RgbaImage onBlack = RenderExport(*scene_, host_, options, &error);
    scene_->backgroundColor = {1, 1, 1};
    ApplyClearColor(*scene_);
    int edges = 0;
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        const uint8_t* p = clear.at(x, y);
        if (p[3] == 0 || p[3] == 255) continue;
        ++edges;
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(p[c] * p[3] / 255.0, onBlack.at(x, y)[c], 3.0) << factor << " at " << x << "," << y;
        }
      }
    }
    EXPECT_GT(edges, 20) << factor;
  }
}

TEST_F(StudioFloorTest, TheReflectionFadesTowardsTheBackgroundOverFourTenthsOfTheHeight) {
  // Down the middle of the red front's mirror image: how far each row is
  // from the background, for three backgrounds. The mirror holds the front
  // at half strength at the contact, fades as the square of what is left of
  // 0.4 of the product's height, and is gone there: on any background, with
  // no band darker or lighter than the fade on its way.
  for (const Vec3 background : {Vec3{0, 0, 0}, Vec3{1, 1, 1}, Vec3{0.2f, 0.3f, 0.9f}}) {
    SCOPED_TRACE(std::to_string(background[2]));
    scene_->backgroundColor = background;
    ApplyClearColor(*scene_);
    const RgbaImage plain = draw(StudioFloor{});
    const uint8_t* ground = plain.at(0, kH - 1);
    int left = kW, right = -1, bottom = -1, top = kH;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint8_t* p = plain.at(x, y);
        if (p[0] > 200 && p[1] < 40 && p[2] < 40) {
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
      }
    }
    ASSERT_GE(right, left) << "the red front shows";
    const int x = (left + right) / 2;
    int faceRow = bottom;
    while (faceRow > 0 && !(plain.at(x, faceRow)[0] > 200 && plain.at(x, faceRow)[1] < 40)) --faceRow;
    const int frontRows = faceRow - top + 1;
    StudioFloor floor = floorOf(false, true);
    floor.reflectionStrength = 100;
    const RgbaImage studio = draw(floor);
    auto away = [&](int row) {
      const uint8_t* p = studio.at(x, row);
      return std::abs(p[0] - ground[0]) + std::abs(p[1] - ground[1]) + std::abs(p[2] - ground[2]);
    };
    const int depth = static_cast<int>(0.4 * frontRows);
    ASSERT_LT(faceRow + depth + 4, kH);
    const int first = away(faceRow + 2);
    EXPECT_GT(first, 150) << "the mirror image is strong at the contact";
    int previous = first;
    for (int row = faceRow + 3; row <= faceRow + depth + 4; ++row) {
      EXPECT_LE(away(row), previous + 3) << "no band on the way, row " << row - faceRow;
      previous = away(row);
    }
    // Half-way down, about a quarter of the contact's (perspective leans it).
    const double half = static_cast<double>(away(faceRow + 2 + depth / 2)) / first;
    EXPECT_GT(half, 0.1) << "faded too soon";
    EXPECT_LT(half, 0.45) << "faded too late";
    EXPECT_LE(away(faceRow + depth + 4), 6) << "gone by four tenths of the height";
  }
}
