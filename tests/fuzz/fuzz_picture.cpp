// libFuzzer harness for the picture entry: any bytes must be decoded or
// refused with a message. Raster formats decode in this process; WMF and EMF
// go to the metafile helper (point KESTROVA_METAFILE_HELPER at the fuzz
// build's own), so its crashes come back as messages, never as ours.
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QGuiApplication* application = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char* argv[] = {name, nullptr};
    return new QGuiApplication(argc, argv);
  }();
  (void)application;
  const std::vector<uint8_t> bytes(data, data + size);
  const kestrova::PictureResult decoded = kestrova::DecodePicture(bytes, "fuzz");
  if (decoded.picture) {
    // What the texture loader asks for: a small power-of-two drawing.
    const kestrova::RgbaImage drawn = decoded.picture->render(32, 16);
    if (!drawn.pixels.empty() && drawn.pixels.size() != 32u * 16u * 4u) __builtin_trap();
  } else if (decoded.error.empty()) {
    __builtin_trap();  // a refusal always says why
  }
  return 0;
}
