// The same shot at every size: a still drawn in tiles, in parts, or
// supersampled is the small still enlarged, in both looks, with and without
// the floor, opaque and transparent. The limits are lowered so that small
// pictures cross them as large ones do, and one picture crosses the real
// ones.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "render/export_image.h"
#include "render/studio/studio_renderer.h"
#include "scene/product_styles.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/same_shot.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

class SameShot : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    test::StillTestBox(*scene_);
  }
  void TearDown() override { studio::LimitStudioPart(0); }

  RgbaImage draw(int width, int height, int supersample, bool transparent, int maxTile = 0, int part = 0) {
    ExportOptions o;
    o.width = width;
    o.height = height;
    o.supersample = supersample;
    o.transparent = transparent;
    o.maxTile = maxTile;
    studio::LimitStudioPart(part);
    std::string error;
    RgbaImage image = RenderExport(*scene_, host_, o, &error);
    studio::LimitStudioPart(0);
    EXPECT_FALSE(image.pixels.empty()) << error;
    return image;
  }

  RenderHost host_;
  std::unique_ptr<SceneState> scene_;
};

struct Case {
  int width, height, supersample, maxTile, part;
  const char* why;
};

}  // namespace

TEST_F(SameShot, EverySizeTilingAndSupersamplingDrawsTheSmallStillEnlarged) {
  // The export's tiles (maxTile) and the studio's multisampled parts (part)
  // lowered to a hundred pixels or so; the small stills are 100 x 75 and,
  // for the tall pictures, 120 x 180.
  const Case cases[] = {
      {128, 96, 1, 0, 128, "exactly one part"},
      {129, 97, 1, 0, 128, "a part one pixel wide past the first (2049 x 1536)"},
      {240, 360, 1, 0, 128, "tall: parts across and down (1600 x 2400)"},
      {257, 193, 1, 0, 64, "parts across and down, the last thin (4097 wide)"},
      {300, 225, 1, 100, 64, "tiles of parts"},
      {160, 120, 2, 0, 0, "supersampled 2"},
      {160, 120, 3, 0, 0, "supersampled 3"},
      {160, 120, 4, 0, 0, "supersampled 4"},
      {200, 150, 2, 64, 48, "supersampled tiles in parts (the window's export)"},
      {257, 193, 3, 100, 64, "supersampled 3, tiles and parts"},
  };
  for (const bool studio : {false, true}) {
    for (const bool floor : {false, true}) {
      for (const bool transparent : {false, true}) {
        const std::string look = std::string(studio ? "studio" : "classic") + (floor ? ", floor" : ", no floor") +
                                 (transparent ? ", transparent" : ", opaque");
        SCOPED_TRACE(look);
        scene_->look.studio = studio;
        scene_->studioFloor.shadow = floor;
        std::map<bool, RgbaImage> small;  // by tallness
        small[false] = draw(100, 75, 1, transparent);
        small[true] = draw(120, 180, 1, transparent);
        for (const Case& c : cases) {
          const RgbaImage big = draw(c.width, c.height, c.supersample, transparent, c.maxTile, c.part);
          EXPECT_TRUE(test::IsTheSmallShotEnlarged(small[c.height > c.width], big))
              << c.width << " x " << c.height << ", supersample " << c.supersample << ": " << c.why;
        }
      }
    }
  }
}

TEST_F(SameShot, PicturesPastTheRealLimitsAreTheSmallStillEnlarged) {
  // The studio's parts are 2048 a side and the export's tiles 4096.
  scene_->studioFloor.shadow = true;
  for (const bool studio : {false, true}) {
    SCOPED_TRACE(studio ? "studio" : "classic");
    scene_->look.studio = studio;
    const RgbaImage small = draw(200, 150, 1, false);
    EXPECT_TRUE(test::IsTheSmallShotEnlarged(small, draw(2049, 1536, 1, false))) << "2049 x 1536";
    if (studio) {
      EXPECT_TRUE(test::IsTheSmallShotEnlarged(small, draw(4097, 3073, 1, false))) << "4097 x 3073";
    }
    EXPECT_TRUE(test::IsTheSmallShotEnlarged(small, draw(800, 600, 3, false))) << "800 x 600 supersampled 3";
  }
}

// What the studio keeps from one picture to the next (shadows, the product's
// triangles, the sky's occlusion) follows every change of the shot: after
// each change the picture is what a renderer that kept nothing draws.
TEST_F(SameShot, AChangedShotIsDrawnAsARendererThatKeptNothingDrawsIt) {
  struct Change {
    const char* what;
    void (*apply)(SceneState&);
  };
  const Change changes[] = {
      {"the shadow's softness", [](SceneState& s) { s.studioFloor.softness = 95; }},
      {"the shadow's strength", [](SceneState& s) { s.studioFloor.shadowStrength = 15; }},
      {"a reflection", [](SceneState& s) { s.studioFloor.reflection = true; }},
      {"the edges' radius", [](SceneState& s) { s.look.radius = 12; }},
      {"the gloss", [](SceneState& s) { s.look.gloss = 90; }},
      {"the turn", [](SceneState& s) { s.rotation[1] += 50; }},
      {"the shape (a keep case)", [](SceneState& s) { ApplyBoxStyle(s, 2); }},
  };
  auto difference = [](const RgbaImage& a, const RgbaImage& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(a.pixels[i] - b.pixels[i]);
    return sum / static_cast<double>(a.pixels.size());
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    scene_ = std::make_unique<SceneState>();
    test::StillTestBox(*scene_);
    scene_->look.studio = true;
    scene_->studioFloor.shadow = true;
    scene_->studioFloor.softness = 20;
    const RgbaImage before = draw(160, 120, 1, false);
    change.apply(*scene_);
    const RgbaImage after = draw(160, 120, 1, false);
    studio::ForgetStudioResources();
    const RgbaImage fresh = draw(160, 120, 1, false);
    EXPECT_GT(difference(before, fresh), 0.2) << "the change shows";
    EXPECT_LT(difference(after, fresh), 0.05) << "levels apart on average from a fresh renderer's";
  }
}
