#pragma once
// A 3DS model as the loader delivers it and the renderer draws it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

struct Material3DS {
  std::string name;
  std::string textureFile;  // empty when the material has no texture map
  std::array<uint8_t, 3> colour{};  // diffuse R, G, B
  int32_t textureId = 0;            // not filled by the loader
  std::array<float, 4> tiling{};    // U tile, V tile, U offset, V offset; not filled
};

// Vertex indices are 16 bits in the file and are kept so: the faces are the
// bulk of a large model.
struct Face3DS {
  std::array<uint16_t, 3> vertex{};
};

struct Object3DS {
  int32_t vertexCount = 0;
  int32_t faceCount = 0;
  int32_t texCoordCount = 0;
  int32_t materialIndex = 0;  // -1 when the face material names no known material
  bool hasTexture = false;
  std::string name;
  std::vector<std::array<float, 3>> vertices;
  std::vector<std::array<float, 3>> normals;  // one per vertex
  std::vector<std::array<float, 2>> texCoords;
  std::vector<Face3DS> faces;
};

struct Model3DS {
  int32_t objectCount = 0;
  int32_t materialCount = 0;
  std::vector<Material3DS> materials;
  std::vector<Object3DS> objects;
};

// The five models, loaded once at start-up and kept for the whole run.
struct ProductModels {
  Model3DS frontCover;
  Model3DS backCover;
  Model3DS binder;
  Model3DS pages;
  Model3DS mug;
};

ProductModels& Models();

}  // namespace kestrova
