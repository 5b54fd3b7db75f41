// The shop model's texture atlas, read back the way a viewer reads it:
// every face's triangles take their texture from the atlas at their UVs.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "render/shop_export.h"
#include "render/texture_loader.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

GLuint flatTexture(int width, int height, std::array<uint8_t, 3> colour) {
  return test::MakeFlatTexture(colour[0], colour[1], colour[2], width, height);
}

class ShopModelTest : public test::HeadlessGL {};

}  // namespace

// Pictures of very different heights go on several shelves; a shelf that
// started lower than its tallest picture would lay the next shelf over it.
TEST_F(ShopModelTest, EachFacesTrianglesShowItsOwnPictureFromTheAtlas) {
  SceneState scene;
  test::StillTestBox(scene);
  scene.look.studio = true;
  struct Face {
    TextureSlot slot;
    int width, height;
    std::array<uint8_t, 3> colour;
    float normal[3];  // in the model: front to +Z, up +Y
  };
  const Face faces[] = {
      {kSlotBoxFront, 300, 400, {220, 30, 30}, {0, 0, 1}},  {kSlotBoxBack, 500, 60, {30, 200, 30}, {0, 0, -1}},
      {kSlotBoxLeft, 90, 380, {30, 30, 220}, {-1, 0, 0}},   {kSlotBoxRight, 400, 70, {220, 220, 30}, {1, 0, 0}},
      {kSlotBoxTop, 260, 250, {30, 220, 220}, {0, 1, 0}},   {kSlotBoxBottom, 450, 40, {220, 30, 220}, {0, -1, 0}},
  };
  for (const Face& f : faces) scene.textureSlot[f.slot] = flatTexture(f.width, f.height, f.colour);
  ShopExportOptions options;
  options.textureSize = 1024;
  ShopModel model;
  std::string error;
  ASSERT_TRUE(BuildShopModel(scene, options, &model, &error)) << error;
  QImage atlas;
  ASSERT_TRUE(atlas.loadFromData(model.texture.data(), static_cast<int>(model.texture.size())));
  int checked[6] = {};
  for (size_t t = 0; t + 2 < model.indices.size(); t += 3) {
    const ModelVertex* v[3] = {&model.vertices[model.indices[t]], &model.vertices[model.indices[t + 1]],
                               &model.vertices[model.indices[t + 2]]};
    for (int i = 0; i < 6; ++i) {
      const float* n = faces[i].normal;
      if (v[0]->normal[0] * n[0] + v[0]->normal[1] * n[1] + v[0]->normal[2] * n[2] < 0.99f) continue;
      // The triangle's middle, and halfway from it to each corner.
      for (int corner = -1; corner < 3; ++corner) {
        double u = 0, w = 0;
        for (const ModelVertex* p : v) u += p->uv[0] / 3, w += p->uv[1] / 3;
        if (corner >= 0) u = (u + v[corner]->uv[0]) / 2, w = (w + v[corner]->uv[1]) / 2;
        const QRgb c = atlas.pixel(std::clamp(static_cast<int>(u * atlas.width()), 0, atlas.width() - 1),
                                   std::clamp(static_cast<int>(w * atlas.height()), 0, atlas.height() - 1));
        EXPECT_NEAR(qRed(c), faces[i].colour[0], 12) << "face " << i << " at " << u << "," << w;
        EXPECT_NEAR(qGreen(c), faces[i].colour[1], 12) << "face " << i << " at " << u << "," << w;
        EXPECT_NEAR(qBlue(c), faces[i].colour[2], 12) << "face " << i << " at " << u << "," << w;
      }
      ++checked[i];
    }
  }
  for (int i = 0; i < 6; ++i) EXPECT_GE(checked[i], 2) << "face " << i << " has its triangles";
}

// A cover is stored at its own size or more (the classic frame keeps it at
// a power of two: 1200 pixels wide at 1024), and a box's faces fill most
// of the atlas (powers of two, as the asset auditors ask).
TEST_F(ShopModelTest, AFrontOf1200PixelsIsStoredAtItsSizeAndABoxFillsMostOfItsAtlas) {
  SceneState scene;
  test::StillTestBox(scene);
  scene.look.radius = 0;  // sharp: each face's picture on one flat face
  QImage cover(1200, 1600, QImage::Format_RGB32);
  cover.fill(QColor(200, 60, 40));
  const std::string path = ::testing::TempDir() + "cover1200.png";
  ASSERT_TRUE(cover.save(QString::fromStdString(path)));
  scene.imagePathIsAbsolute = 2;
  std::string why;
  ASSERT_TRUE(LoadTexture(scene, path, scene.textureSlot[kSlotBoxFront], &why)) << why;
  // The other faces, smaller: all of them fit at their own sizes.
  const uint32_t side = flatTexture(100, 800, {40, 60, 200});
  const uint32_t top = flatTexture(600, 100, {40, 200, 60});
  scene.textureSlot[kSlotBoxLeft] = scene.textureSlot[kSlotBoxRight] = side;
  scene.textureSlot[kSlotBoxTop] = scene.textureSlot[kSlotBoxBottom] = top;
  scene.textureSlot[kSlotBoxBack] = flatTexture(600, 800, {120, 120, 120});
  ShopExportOptions options;
  ShopModel model;
  std::string error;
  ASSERT_TRUE(BuildShopModel(scene, options, &model, &error)) << error;
  // Each face's rectangle in the atlas, from its triangles' UVs.
  std::map<int, std::array<double, 4>> faces;  // by normal: u0, v0, u1, v1
  for (const ModelVertex& v : model.vertices) {
    const int key = static_cast<int>(std::lround(v.normal[0])) + 3 * static_cast<int>(std::lround(v.normal[1])) +
                    9 * static_cast<int>(std::lround(v.normal[2]));
    auto [at, fresh] = faces.try_emplace(key, std::array<double, 4>{v.uv[0], v.uv[1], v.uv[0], v.uv[1]});
    auto& r = at->second;
    r = {std::min(r[0], double(v.uv[0])), std::min(r[1], double(v.uv[1])), std::max(r[2], double(v.uv[0])),
         std::max(r[3], double(v.uv[1]))};
  }
  ASSERT_EQ(faces.size(), 6u);
  // At its own size at least (the pictures grow together into the atlas's
  // room), in its own proportions.
  const auto& front = faces[9];
  const double stored[2] = {(front[2] - front[0]) * model.textureWidth, (front[3] - front[1]) * model.textureHeight};
  EXPECT_GE(stored[0], 1200 - 1);
  EXPECT_GE(stored[1], 1600 - 1);
  EXPECT_NEAR(stored[0] / stored[1], 0.75, 0.004);
  EXPECT_LE(std::max(model.textureWidth, model.textureHeight), options.textureSize);
  // Faces sharing a picture share its place: count each place once.
  std::set<std::array<long, 4>> places;
  double used = 0;
  for (const auto& [key, r] : faces) {
    const std::array<long, 4> place = {std::lround(r[0] * 1e4), std::lround(r[1] * 1e4), std::lround(r[2] * 1e4),
                                       std::lround(r[3] * 1e4)};
    if (places.insert(place).second) used += (r[2] - r[0]) * (r[3] - r[1]);
  }
  EXPECT_GE(used, 0.7) << "of a " << model.textureWidth << " x " << model.textureHeight << " atlas";
}
