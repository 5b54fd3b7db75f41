// The shots a new user sees first, with the artwork the build draws.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>

#include "shot/startup.h"
#include "render/texture_loader.h"
#include "render/render_to_image.h"
#include "scene/product_styles.h"
#include "tests/support/artwork_fixture.h"
#include "tests/support/image_compare.h"

using namespace kestrova;
namespace fs = std::filesystem;

using DefaultArtwork = test::ArtworkScene;

TEST_F(DefaultArtwork, EverySlotIsLoadedAtStart) {
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    EXPECT_NE(scene_->textureSlot[static_cast<size_t>(slot)], 0u) << "slot " << slot;
  }
  EXPECT_EQ(fs::current_path(), fs::path(KESTROVA_PROGRAM_DIR));
  EXPECT_EQ(scene_->websiteLink(), kDesignHelpLink);
  EXPECT_FLOAT_EQ(scene_->boxSize[1], 0.21f);
}

TEST_F(DefaultArtwork, DefaultBox) { EXPECT_MATCHES_BASELINE(draw(), "artwork_default_box"); }

TEST_F(DefaultArtwork, FlatBook) {
  draw();
  draw();  // past the frames that force the box
  scene_->productKind = kProductBook;
  ApplyBookStyle(*scene_, 1);
  EXPECT_MATCHES_BASELINE(draw(), "artwork_flat_book");
}

TEST_F(DefaultArtwork, ScreenShotBoard) {
  draw();
  draw();
  // A 320 x 240 screen shot picked for the front: about 8.5 x 6.4 cm.
  QTemporaryDir dir;
  QImage shot(320, 240, QImage::Format_RGB32);
  shot.fill(QColor(240, 242, 246));
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 320; ++x) shot.setPixelColor(x, y, QColor(36, 62, 128));
  }
  for (int y = 60; y < 200; ++y) {
    for (int x = 30; x < 150; ++x) shot.setPixelColor(x, y, QColor(247, 168, 38));
  }
  const std::string path = dir.path().toStdString() + "/shot.png";
  ASSERT_TRUE(shot.save(QString::fromStdString(path)));
  scene_->imagePathIsAbsolute = 2;
  ASSERT_TRUE(LoadTexture(*scene_, path, scene_->textureSlot[kSlotBoxFront]));
  scene_->productKind = kProductScreenShot;
  scene_->scale = {0, 0, 0};
  EXPECT_MATCHES_BASELINE(draw(), "artwork_screenshot_board");
}
