// Pictures beyond the view: tiles, supersampling and a transparent
// background, read back as the files would hold them.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "render/export_image.h"
#include "render/classic/render_frame.h"
#include "render/scene_initialiser.h"
#include "scene/product_styles.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

class Export : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    test::StillTestBox(*scene_);
  }

  RgbaImage draw(ExportOptions options) {
    std::string error;
    RgbaImage image = RenderExport(*scene_, host_, options, &error);
    EXPECT_FALSE(image.pixels.empty()) << error;
    return image;
  }

  static double meanDifference(const RgbaImage& a, const RgbaImage& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(a.pixels[i] - b.pixels[i]);
    return sum / static_cast<double>(a.pixels.size());
  }

  RenderHost host_;
  std::unique_ptr<SceneState> scene_;
};

}  // namespace

TEST_F(Export, TilesMeetWithoutASeam) {
  ExportOptions whole;
  whole.width = 320;
  whole.height = 240;
  const RgbaImage single = draw(whole);
  ExportOptions tiled = whole;
  tiled.maxTile = 70;  // 5 x 4 tiles, edges across the box
  const RgbaImage pieces = draw(tiled);
  ASSERT_EQ(pieces.pixels.size(), single.pixels.size());
  EXPECT_LT(meanDifference(single, pieces), 0.5);
  // Along every tile edge, no column or row differs more than the rest.
  int far = 0;
  for (size_t i = 0; i < single.pixels.size(); ++i) far += std::abs(single.pixels[i] - pieces.pixels[i]) > 64;
  EXPECT_LT(far, 40) << "pixels far off";
}

TEST_F(Export, ATenThousandPixelPictureInTilesIsTheSmallOneScaledUp) {
  ExportOptions big;
  big.width = 10000;
  big.height = 10000;  // 3 x 3 tiles of the GL's 4096
  const RgbaImage huge = draw(big);
  ASSERT_EQ(huge.width, 10000);
  ExportOptions small;
  small.width = 1000;
  small.height = 1000;
  const RgbaImage single = draw(small);
  // The big one averaged down by ten in each direction.
  RgbaImage down;
  down.width = 1000;
  down.height = 1000;
  down.pixels.resize(1000u * 1000u * 4u);
  for (int y = 0; y < 1000; ++y) {
    for (int x = 0; x < 1000; ++x) {
      for (int c = 0; c < 4; ++c) {
        int sum = 0;
        for (int dy = 0; dy < 10; ++dy) {
          for (int dx = 0; dx < 10; ++dx) sum += huge.at(x * 10 + dx, y * 10 + dy)[c];
        }
        down.pixels[(static_cast<size_t>(y) * 1000 + x) * 4 + static_cast<size_t>(c)] = static_cast<uint8_t>(sum / 100);
      }
    }
  }
  EXPECT_LT(meanDifference(single, down), 4.0);
  // No seam: the rows and columns at the tile edges (4096 and 8192) differ
  // from their neighbours no more than elsewhere.
  auto rowDifference = [&huge](int y) {
    long sum = 0;
    for (int x = 0; x < 10000; ++x) {
      for (int c = 0; c < 3; ++c) sum += std::abs(huge.at(x, y)[c] - huge.at(x, y - 1)[c]);
    }
    return sum;
  };
  EXPECT_LT(rowDifference(4096), 3 * rowDifference(4000) + 20000);
  EXPECT_LT(rowDifference(8192), 3 * rowDifference(8100) + 20000);
}

TEST_F(Export, TransparentKeepsTheProductsCoverageWithStraightAlpha) {
  ExportOptions options;
  options.width = 320;
  options.height = 240;
  options.transparent = true;
  const RgbaImage clear = draw(options);
  for (const auto& [x, y] : {std::pair{0, 0}, {319, 0}, {0, 239}, {319, 239}}) EXPECT_EQ(clear.at(x, y)[3], 0) << x;
  EXPECT_EQ(clear.at(160, 120)[3], 255) << "inside the front face";
  // Over black it is exactly the shot drawn on black: no darker fringe.
  scene_->backgroundColor = {0, 0, 0};
  ApplyClearColor(*scene_);
  ExportOptions opaque = options;
  opaque.transparent = false;
  const RgbaImage onBlack = draw(opaque);
  int darker = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const uint8_t* p = clear.at(x, y);
      for (int c = 0; c < 3; ++c) darker += p[c] * p[3] / 255 + 2 < onBlack.at(x, y)[c];
    }
  }
  EXPECT_EQ(darker, 0);
}

TEST_F(Export, SupersamplingSmoothsTheSilhouette) {
  // Every face one flat colour: without smoothing a pixel is that colour or
  // the background, nothing between.
  GLuint flat = 0;
  glGenTextures(1, &flat);
  glBindTexture(GL_TEXTURE_2D, flat);
  const uint8_t texel[4] = {20, 40, 120, 255};
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  for (int slot = kSlotBoxFront; slot <= kSlotBoxBottom; ++slot) scene_->textureSlot[static_cast<size_t>(slot)] = flat;
  scene_->rotation = {0, 20, 7};  // slanted edges
  ExportOptions options;
  options.width = 320;
  options.height = 240;
  auto between = [](const RgbaImage& image) {
    int count = 0;
    for (size_t i = 0; i < image.pixels.size(); i += 4) count += image.pixels[i + 2] > 130 && image.pixels[i + 2] < 245;
    return count;
  };
  const int plain = between(draw(options));
  options.supersample = 4;
  const int smooth = between(draw(options));
  EXPECT_LT(plain, 20) << "no smoothing: the face's colour or the background";
  EXPECT_GT(smooth, 200) << "edge pixels take values between the face and the background";
  glDeleteTextures(1, &flat);
}

TEST_F(Export, SizesAndFactorsOutOfRangeAreRefused) {
  std::string error;
  ExportOptions options;
  options.width = kMaxExportSide + 1;
  EXPECT_TRUE(RenderExport(*scene_, host_, options, &error).pixels.empty());
  EXPECT_NE(error.find("32768"), std::string::npos) << error;
  options.width = 64;
  options.supersample = 5;
  EXPECT_TRUE(RenderExport(*scene_, host_, options, &error).pixels.empty());
}

TEST_F(Export, RowsArriveTopDownInOrderOnceEach) {
  // One opaque tile across (read back in strips), tiles (bands of a tile
  // row) and a transparent picture: each hands on every row once, in order,
  // and the rows make the picture RenderExport gives.
  ExportOptions strips;
  strips.width = 320;
  strips.height = 240;
  ExportOptions tiles = strips;
  tiles.maxTile = 70;
  ExportOptions clear = strips;
  clear.transparent = true;
  for (const ExportOptions& options : {strips, tiles, clear}) {
    std::vector<uint8_t> rows;
    int next = 0;
    const ExportRows sink = [&](const uint8_t* rgba, int firstRow, int count, std::string*) {
      EXPECT_EQ(firstRow, next);
      EXPECT_GT(count, 0);
      next = firstRow + count;
      rows.insert(rows.end(), rgba, rgba + static_cast<size_t>(count) * options.width * 4);
      return true;
    };
    std::string error;
    ASSERT_TRUE(RenderExportRows(*scene_, host_, options, sink, &error)) << error;
    EXPECT_EQ(next, options.height);
    EXPECT_TRUE(rows == draw(options).pixels) << "maxTile " << options.maxTile << ", transparent " << options.transparent;
  }
}

TEST_F(Export, ASinkThatFailsStopsTheDrawingWithItsReason) {
  ExportOptions options;
  options.width = 320;
  options.height = 300;  // five strips
  int calls = 0;
  const ExportRows sink = [&](const uint8_t*, int, int, std::string* error) {
    *error = "the disk is full";
    return ++calls < 2;
  };
  std::string error;
  EXPECT_FALSE(RenderExportRows(*scene_, host_, options, sink, &error));
  EXPECT_EQ(error, "the disk is full");
  EXPECT_EQ(calls, 2) << "nothing more is drawn or read once the sink says stop";
}

// Asked to stop, a picture ends at the next tile, in either look: no more
// rows reach the sink and it fails saying so.
TEST_F(Export, AStopAskedForEndsThePictureAtTheNextTile) {
  for (const bool studio : {false, true}) {
    SCOPED_TRACE(studio ? "studio" : "classic");
    scene_->look.studio = studio;
    ExportOptions o;
    o.width = 256;
    o.height = 256;
    o.maxTile = 64;  // 16 tiles
    int asked = 0;
    o.stop = [&asked] { return ++asked > 3; };
    int rows = 0;
    const ExportRows sink = [&rows](const uint8_t*, int, int count, std::string*) {
      rows += count;
      return true;
    };
    std::string error;
    EXPECT_FALSE(RenderExportRows(*scene_, host_, o, sink, &error));
    EXPECT_EQ(error, "stopped");
    EXPECT_EQ(asked, 4) << "asked before each tile, and no more once it said stop";
    EXPECT_LT(rows, 256);
  }
}
