#include "test_textures.h"

#include "render/scene_initialiser.h"
#include "scene/product_styles.h"

#include <GL/gl.h>

#include <vector>

namespace kestrova::test {

uint32_t MakeFaceTexture(uint8_t r, uint8_t g, uint8_t b) {
  constexpr int kSize = 64;
  std::vector<uint8_t> pixels(kSize * kSize * 4);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      uint8_t* p = &pixels[static_cast<size_t>((y * kSize + x) * 4)];
      const bool dark = ((x / 8) + (y / 8)) % 2 == 1;
      const bool topBar = y >= kSize - 8;  // the last rows are the picture's top
      const int shade = topBar ? 60 : (dark ? 180 : 255);
      p[0] = static_cast<uint8_t>(r * shade / 255);
      p[1] = static_cast<uint8_t>(g * shade / 255);
      p[2] = static_cast<uint8_t>(b * shade / 255);
      p[3] = 255;
    }
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSize, kSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return name;
}

void FillSlotsWithTestTextures(SceneState& scene) {
  static const uint8_t colours[kTextureSlotCount][3] = {
      {128, 128, 128}, {220, 60, 60},  {60, 160, 220}, {240, 200, 40}, {200, 200, 190},
      {190, 200, 200}, {200, 190, 200}, {240, 140, 40}, {90, 90, 200},  {220, 60, 60},
      {60, 160, 220},  {240, 200, 40},  {60, 190, 90},  {170, 90, 200}, {240, 140, 40}};
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    scene.textureSlot[static_cast<size_t>(slot)] =
        MakeFaceTexture(colours[slot][0], colours[slot][1], colours[slot][2]);
  }
}

void StillTestBox(SceneState& scene) {
  InitialiseSceneDefaults(scene);
  FillSlotsWithTestTextures(scene);
  scene.startupFrameCount = 2;
  scene.productKind = kProductBox;
  ApplyBoxStyle(scene, 0);
  scene.backgroundColor = {1, 1, 1};
  ApplyClearColor(scene);
}

uint32_t MakeFlatTexture(uint8_t r, uint8_t g, uint8_t b, int width, int height) {
  std::vector<uint8_t> texels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (size_t i = 0; i < texels.size(); i += 4) texels[i] = r, texels[i + 1] = g, texels[i + 2] = b, texels[i + 3] = 255;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return name;
}

}  // namespace kestrova::test
