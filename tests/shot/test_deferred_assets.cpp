// A start that leaves the products' pictures and models until they are
// shown must draw every product exactly as the full start does, load only
// what it shows, and keep what the user gave a face meanwhile.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>

#include "render/texture_loader.h"
#include "scene/product_styles.h"
#include "tests/support/artwork_fixture.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

class DeferredAssets : public test::ArtworkScene {
 protected:
  void SetUp() override {
    ArtworkScene::SetUp();  // the full start, in scene_
    lean_ = std::make_unique<SceneState>();
    StartupHooks hooks;
    hooks.deferAssets = true;
    leanStarted_ = InitialiseScene(*lean_, KESTROVA_PROGRAM_DIR, 1, hooks);
  }

  RgbaImage drawLean() {
    RenderHost host;
    return RenderToImage(*lean_, host, kWidth, kHeight, std::nullopt);
  }

  // Both scenes past the start-up frames that force the box, on `product`.
  void show(float product, int style) {
    for (SceneState* scene : {scene_.get(), lean_.get()}) {
      scene->startupFrameCount = 2;
      scene->productKind = product;
      if (product <= 1.0f) {
        ApplyBookStyle(*scene, style);
      } else {
        ApplyBoxStyle(*scene, style);
      }
    }
  }

  uint32_t leanSlot(TextureSlot slot) const { return lean_->textureSlot[static_cast<size_t>(slot)]; }

  std::unique_ptr<SceneState> lean_;
  StartupResult leanStarted_;
};

}  // namespace

TEST_F(DeferredAssets, EveryProductDrawsAsAfterTheFullStart) {
  EXPECT_EQ(lean_->pictureWidth[0], scene_->pictureWidth[0]) << "the board's size, read from the last picture's header";
  EXPECT_EQ(lean_->pictureHeight[0], scene_->pictureHeight[0]);
  const struct {
    float product;
    int style;
    const char* name;
  } shots[] = {{kProductBox, 0, "box"},        {kProductScreenShot, 0, "board"}, {kProductBook, 0, "hard back"},
               {kProductBook, 1, "paperback"}, {kProductMug, 0, "mug"},          {kProductBox, 3, "box again"}};
  for (const auto& shot : shots) {
    show(shot.product, shot.style);
    const RgbaImage full = draw();
    const RgbaImage lean = drawLean();
    ASSERT_EQ(full.pixels.size(), lean.pixels.size());
    EXPECT_TRUE(full.pixels == lean.pixels) << shot.name;
  }
  EXPECT_TRUE(lean_->deferred.messages.empty());
}

TEST_F(DeferredAssets, OnlyWhatIsShownIsLoaded) {
  for (TextureSlot slot : {kSlotBoxFront, kSlotBookFront, kSlotMug, kSlotMugEnvironment}) EXPECT_EQ(leanSlot(slot), 0u);
  EXPECT_NE(leanSlot(kSlotBuiltin), 0u);
  show(kProductBox, 0);
  drawLean();
  for (TextureSlot slot : {kSlotBoxFront, kSlotBoxBack, kSlotBoxLeft, kSlotBoxRight, kSlotBoxTop, kSlotBoxBottom}) {
    EXPECT_NE(leanSlot(slot), 0u) << slot;
  }
  for (TextureSlot slot : {kSlotBookFront, kSlotBookPage3, kSlotMug, kSlotMugEnvironment}) EXPECT_EQ(leanSlot(slot), 0u);
  EXPECT_TRUE(lean_->deferred.bookModels);
  EXPECT_TRUE(lean_->deferred.mugModel);
  show(kProductMug, 0);
  drawLean();
  EXPECT_NE(leanSlot(kSlotMug), 0u);
  EXPECT_FALSE(lean_->deferred.mugModel);
  EXPECT_EQ(leanSlot(kSlotBookFront), 0u);
}

TEST_F(DeferredAssets, AFaceGivenAPictureFirstKeepsItAndTheBoardKeepsItsSize) {
  QTemporaryDir dir;
  QImage picked(200, 100, QImage::Format_RGB32);
  picked.fill(QColor(20, 140, 60));
  const std::string path = dir.path().toStdString() + "/picked.png";
  ASSERT_TRUE(picked.save(QString::fromStdString(path)));
  lean_->imagePathIsAbsolute = 2;
  ASSERT_TRUE(LoadTexture(*lean_, path, lean_->textureSlot[kSlotBoxFront]));
  const uint32_t picture = leanSlot(kSlotBoxFront);
  const int32_t width = lean_->pictureWidth[0];
  show(kProductBox, 0);
  drawLean();
  EXPECT_EQ(leanSlot(kSlotBoxFront), picture);
  EXPECT_NE(leanSlot(kSlotBoxBack), 0u) << "the other faces get their defaults";
  EXPECT_EQ(lean_->pictureWidth[0], width) << "defaults loaded late do not resize the board";
}

TEST_F(DeferredAssets, ADamagedModelIsReportedWhenFirstShown) {
  QTemporaryDir dir;
  const fs::path folder(dir.path().toStdString());
  for (const char* assets : {"Boxes", "Books", "Mug", "Sequences"}) {
    fs::copy(fs::path(KESTROVA_PROGRAM_DIR) / assets, folder / assets, fs::copy_options::recursive);
  }
  std::ofstream(folder / "Flag.txt") << "True";
  std::ofstream(folder / "Mug/Coffee-Mug.3ds", std::ios::binary | std::ios::trunc) << "not a model";
  SceneState scene;
  StartupHooks hooks;
  hooks.deferAssets = true;
  const StartupResult started = InitialiseScene(scene, folder.string(), 1, hooks);
  EXPECT_TRUE(started.messages.empty()) << "nothing is read before it is shown";
  scene.startupFrameCount = 2;
  scene.productKind = kProductMug;
  RenderHost host;
  RenderToImage(scene, host, kWidth, kHeight, std::nullopt);
  ASSERT_EQ(scene.deferred.messages.size(), 1u);
  EXPECT_EQ(scene.deferred.messages[0].first, "Error");
  EXPECT_NE(scene.deferred.messages[0].second.find("Coffee-Mug.3ds"), std::string::npos);
}
