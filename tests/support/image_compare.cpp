#include "image_compare.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include "pictures/qimage_bridge.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kestrova::test {

bool SavePng(const RgbaImage& image, const std::string& path) {
  if (image.width < 1 || image.height < 1) return false;
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
  return ToQImage(image).save(QString::fromStdString(path), "PNG");
}

RgbaImage LoadPng(const std::string& path) {
  const QImage loaded(QString::fromStdString(path));
  return loaded.isNull() ? RgbaImage{} : FromQImage(loaded);
}

::testing::AssertionResult MatchesBaseline(const RgbaImage& actual, const std::string& name,
                                           double tolerance) {
  const std::string baselinePath = std::string(KESTROVA_BASELINE_DIR) + "/" + name + ".png";
  const std::string outputPath = std::string(KESTROVA_TEST_OUTPUT_DIR) + "/" + name + ".png";
  const char* update = std::getenv("KESTROVA_UPDATE_BASELINES");
  if (update && std::strcmp(update, "1") == 0) {
    SavePng(actual, baselinePath);
    return ::testing::AssertionFailure() << "baseline " << baselinePath << " written; look at it";
  }
  const RgbaImage expected = LoadPng(baselinePath);
  if (expected.width == 0) {
    SavePng(actual, outputPath);
    return ::testing::AssertionFailure()
           << "no baseline " << baselinePath << "; the actual image is " << outputPath;
  }
  if (expected.width != actual.width || expected.height != actual.height) {
    SavePng(actual, outputPath);
    return ::testing::AssertionFailure()
           << name << ": size " << actual.width << "x" << actual.height << ", baseline "
           << expected.width << "x" << expected.height << "; actual saved as " << outputPath;
  }
  double sum = 0;
  size_t farOff = 0;
  const size_t pixels = actual.pixels.size() / 4;
  for (size_t p = 0; p < pixels; ++p) {
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) {
      const int d = std::abs(int(actual.pixels[p * 4 + c]) - int(expected.pixels[p * 4 + c]));
      sum += d;
      worst = std::max(worst, d);
    }
    if (worst > 64) ++farOff;
  }
  const double mean = sum / static_cast<double>(pixels * 3);
  const double farShare = static_cast<double>(farOff) / static_cast<double>(pixels);
  if (mean <= tolerance && farShare <= 0.01) return ::testing::AssertionSuccess();
  SavePng(actual, outputPath);
  return ::testing::AssertionFailure() << name << ": mean difference " << mean << " (limit "
                                       << tolerance << "), " << farShare * 100
                                       << "% of pixels far off; actual saved as " << outputPath;
}

}  // namespace kestrova::test
