// libFuzzer harness for the 3DS loader: any bytes must be read or refused
// without touching memory outside the buffer.
#include <cstddef>
#include <cstdint>

#include "formats/model_3ds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrova::Model3DS model;
  const kestrova::ImportResult result = kestrova::Import3DSFromMemory(model, data, size, "fuzz.3ds");
  if (result.ok) {
    // What drawing reads: every face index and its normal.
    for (const auto& object : model.objects) {
      for (const auto& face : object.faces) {
        for (int32_t v : face.vertex) {
          volatile float x = object.vertices.at(static_cast<size_t>(v))[0] +
                             object.normals.at(static_cast<size_t>(v))[0];
          (void)x;
        }
      }
    }
  }
  return 0;
}
