// libFuzzer harness for the 3DS loader: any bytes must be read or refused
// without touching memory outside the buffer, and reading them a piece at a
// time through a small window must give exactly what reading them whole does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/model_3ds.h"

namespace {

void require(bool holds) {
  if (!holds) std::abort();
}

// Bytes, not values: NaNs in a hostile file must come out the same too.
template <typename T>
void requireSameBytes(const std::vector<T>& a, const std::vector<T>& b) {
  require(a.size() == b.size());
  if (!a.empty()) require(std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void requireSame(const kestrova::Model3DS& a, const kestrova::Model3DS& b) {
  require(a.objects.size() == b.objects.size() && a.materials.size() == b.materials.size());
  for (size_t i = 0; i < a.materials.size(); ++i) {
    require(a.materials[i].name == b.materials[i].name && a.materials[i].textureFile == b.materials[i].textureFile &&
            a.materials[i].colour == b.materials[i].colour);
  }
  for (size_t i = 0; i < a.objects.size(); ++i) {
    const auto& x = a.objects[i];
    const auto& y = b.objects[i];
    require(x.name == y.name && x.vertexCount == y.vertexCount && x.faceCount == y.faceCount &&
            x.texCoordCount == y.texCoordCount && x.materialIndex == y.materialIndex && x.hasTexture == y.hasTexture);
    requireSameBytes(x.vertices, y.vertices);
    requireSameBytes(x.normals, y.normals);
    requireSameBytes(x.texCoords, y.texCoords);
    requireSameBytes(x.faces, y.faces);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrova::Model3DS model;
  const kestrova::ImportResult result = kestrova::Import3DSFromMemory(model, data, size, "fuzz.3ds");
  if (result.ok) {
    // What drawing reads: every face index and its normal.
    for (const auto& object : model.objects) {
      for (const auto& face : object.faces) {
        for (uint16_t v : face.vertex) {
          volatile float x = object.vertices.at(v)[0] + object.normals.at(v)[0];
          (void)x;
        }
      }
    }
  }
  // The window's size comes from the input's length, so it varies from run
  // to run without costing the fuzzer any bytes.
  const size_t window = 1 + size % 61;
  const kestrova::ReadAt read = [data, size](uint64_t offset, uint8_t* out, size_t n) -> size_t {
    if (offset >= size) return 0;
    const size_t got = n < size - offset ? n : static_cast<size_t>(size - offset);
    std::memcpy(out, data + offset, got);
    return got;
  };
  kestrova::Model3DS streamed;
  const kestrova::ImportResult again = kestrova::Import3DSStreamed(streamed, size, read, "fuzz.3ds", window);
  require(again.ok == result.ok && again.messages.size() == result.messages.size());
  for (size_t i = 0; i < result.messages.size(); ++i) require(again.messages[i].text == result.messages[i].text);
  if (result.ok) requireSame(model, streamed);
  return 0;
}
