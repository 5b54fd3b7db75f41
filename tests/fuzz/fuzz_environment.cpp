// libFuzzer harness for the HDR environment readers: any bytes, read as a
// Radiance picture (first byte even) or an OpenEXR one (odd), must be read
// whole or refused, never read past, and what is read fits its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/environment_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool exr = (data[0] & 1) != 0;
  const std::vector<uint8_t> bytes(data + 1, data + size);
  kestrova::FloatPicture picture;
  std::string why;
  if (kestrova::DecodeEnvironmentPicture(bytes, exr, &picture, &why)) {
    if (picture.width < 1 || picture.height < 1 || picture.width > kestrova::kMaxEnvironmentSide ||
        picture.rgb.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3) {
      std::abort();
    }
  } else if (why.empty()) {
    std::abort();  // a refusal always says why
  }
  return 0;
}
