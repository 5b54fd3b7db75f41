// libFuzzer harness for a one-piece cover as the cutter reads it: any bytes
// are decoded or refused with a message, and a cover that decodes is drawn
// at the size the cutter would draw it (a drawing bounded as faces are).
// Drawings go to the metafile helper: point KESTROVA_METAFILE_HELPER at the
// fuzz build's own.
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/cmyk_jpeg.h"
#include "pictures/cover_size.h"
#include "pictures/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QGuiApplication* application = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_cover";
    static char* argv[] = {name, nullptr};
    return new QGuiApplication(argc, argv);
  }();
  (void)application;
  const std::vector<uint8_t> bytes(data, data + size);
  const kestrova::PictureResult decoded = kestrova::DecodePicture(bytes, "fuzz");
  if (!decoded.picture) {
    if (decoded.error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  // A DVD's wrap with its bleed: 279 mm across.
  int width = 0, height = 0;
  kestrova::CoverPixels(*decoded.picture, 279, &width, &height);
  if (width < 1 || height < 1) return 0;
  if (!kestrova::BoundCoverPixels(*decoded.picture, "fuzz", &width, &height).empty()) return 0;
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 > kestrova::kMaxPictureMemory) __builtin_trap();
  const kestrova::RgbaImage drawn = decoded.picture->render(width, height);
  if (!drawn.pixels.empty() && drawn.pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    __builtin_trap();
  }
  return 0;
}
