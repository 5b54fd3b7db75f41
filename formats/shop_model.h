#pragma once
// A product as a shop's 3D model: one mesh of triangles in metres (+Y up,
// its front towards +Z, the origin at the middle of its bottom), one
// material, one texture atlas. Written as glTF 2.0 binary (GLB) for web
// pages and Google, or as USDZ for Apple's Quick Look.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

struct ModelVertex {
  float position[3];
  float normal[3];   // unit length
  float uv[2];       // glTF's: (0, 0) the atlas's top left
};

struct ModelMaterial {
  float roughness = 0.7f;
  float metallic = 0.0f;
  float clearcoat = 0.0f;  // 0 to 1: a gloss coat over the print
  float clearcoatRoughness = 0.08f;
};

struct ShopModel {
  std::string name;
  std::vector<ModelVertex> vertices;
  std::vector<uint32_t> indices;  // three a triangle
  ModelMaterial material;
  // The last clearCount indices are clear plastic or glass (a case's
  // sleeve, a screen's glass), drawn through; their vertices come last too.
  size_t clearCount = 0;
  std::vector<uint8_t> texture;   // encoded PNG or JPEG
  std::string textureMime;        // "image/png" or "image/jpeg"
  int textureWidth = 0;
  int textureHeight = 0;
};

// The model's bounds, from its vertices.
struct ModelBounds {
  float min[3] = {0, 0, 0};
  float max[3] = {0, 0, 0};
};
ModelBounds BoundsOf(const ShopModel& model);

// glTF 2.0 binary: the JSON and one buffer holding the mesh and the atlas.
std::vector<uint8_t> WriteGlb(const ShopModel& model);

// USDZ: an uncompressed zip holding a USD layer (first, "model.usda",
// +Y up, metres) and the atlas, every file's data on a 64-byte boundary.
std::vector<uint8_t> WriteUsdz(const ShopModel& model);

}  // namespace kestrova
