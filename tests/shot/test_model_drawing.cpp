// The modelled book and the mug, drawn headless with the shipped models.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "shot/startup.h"
#include "render/classic/model_drawing.h"
#include "render/render_to_image.h"
#include "scene/product_styles.h"
#include "tests/support/artwork_fixture.h"
#include "tests/support/image_compare.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

class Models3D : public test::ArtworkScene {
 protected:
  void SetUp() override {
    ArtworkScene::SetUp();
    ASSERT_TRUE(started_.messages.empty()) << started_.messages[0].text;
    draw();
    draw();  // past the start-up frames that force the box
  }

  void hardBack() {
    scene_->productKind = kProductBook;
    ApplyBookStyle(*scene_, 0);
  }
};

double meanDifference(const RgbaImage& a, const RgbaImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(int(a.pixels[i]) - int(b.pixels[i]));
  return sum / static_cast<double>(a.pixels.size());
}

}  // namespace

TEST_F(Models3D, ShippedModelsAreWholeObjects) {
  const ProductModels& models = Models();
  for (const Model3DS* model : {&models.frontCover, &models.backCover, &models.binder, &models.pages, &models.mug}) {
    ASSERT_GE(model->objectCount, 1);
    for (const Object3DS& object : model->objects) {
      EXPECT_TRUE(object.hasTexture) << object.name;
      EXPECT_EQ(object.texCoordCount, object.vertexCount) << object.name;
      EXPECT_GT(object.faceCount, 0) << object.name;
    }
  }
  EXPECT_EQ(models.mug.objectCount, 4);
}

TEST_F(Models3D, HardBackFromTheFrontAndTurned) {
  hardBack();
  scene_->rotation = {0, 0, 0};
  EXPECT_MATCHES_BASELINE(draw(), "hardback_front");
  scene_->rotation = {30, 30, 0};
  EXPECT_MATCHES_BASELINE(draw(), "hardback_30_30");
}

TEST_F(Models3D, FirstModelledBookFrameRaisesTheSpotOnce) {
  hardBack();
  scene_->spotLight = {1, 1, 10};
  draw();
  EXPECT_EQ(scene_->spotLight[2], 200.0f);
  EXPECT_EQ(scene_->bookSpotInitialised, 4.0f);
  scene_->spotLight[2] = 33;
  draw();
  EXPECT_EQ(scene_->spotLight[2], 33.0f);
}

TEST_F(Models3D, MugFirstFrameSetsSpotHeightOnceAndKeepsItAfterASwitch) {
  scene_->productKind = kProductMug;
  draw();
  EXPECT_EQ(scene_->spotLight[2], 100.0f);
  scene_->spotLight[2] = 70;
  scene_->productKind = kProductBox;
  draw();
  scene_->productKind = kProductMug;
  draw();
  EXPECT_EQ(scene_->spotLight[2], 70.0f);
}

TEST_F(Models3D, MugLightingOffAndSpotEditing) {
  scene_->productKind = kProductMug;
  EXPECT_MATCHES_BASELINE(draw(), "mug_lighting_off");
  scene_->lightingMode = 2;
  scene_->panelSubMode = 2;
  scene_->spotLight = {-60, 40, 100};
  EXPECT_MATCHES_BASELINE(draw(), "mug_spot_editing");
}

TEST_F(Models3D, TextureScrollRepeatsEvery360) {
  scene_->productKind = kProductMug;
  const RgbaImage still = draw();
  scene_->textureScroll[0] = 360;
  const RgbaImage whole = draw();
  scene_->textureScroll[0] = 180;
  const RgbaImage half = draw();
  EXPECT_LT(meanDifference(still, whole), 0.5);
  EXPECT_GT(meanDifference(still, half), 1.0);
}

TEST_F(Models3D, ShortTextureCoordinateListsDrawOnlyWhatTheyHave) {
  Model3DS model;
  Object3DS object;
  object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  object.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  object.texCoords = {{0.5f, 0.5f}};  // one for three vertices
  object.hasTexture = true;
  Face3DS face;
  face.vertex = {0, 1, 2};
  object.faces = {face};
  model.objects = {object};
  DrawModel(model, 0, 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
