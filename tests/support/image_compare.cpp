#include "image_compare.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kestrova::test {

bool SavePng(const RgbaImage& image, const std::string& path) {
  if (image.width < 1 || image.height < 1) return false;
  QImage copy(image.pixels.data(), image.width, image.height, image.width * 4,
              QImage::Format_RGBA8888);
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
  return copy.save(QString::fromStdString(path), "PNG");
}

RgbaImage LoadPng(const std::string& path) {
  RgbaImage image;
  QImage loaded(QString::fromStdString(path));
  if (loaded.isNull()) return image;
  loaded = loaded.convertToFormat(QImage::Format_RGBA8888);
  image.width = loaded.width();
  image.height = loaded.height();
  image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(image.pixels.data() + static_cast<size_t>(y) * image.width * 4,
                loaded.constScanLine(y), static_cast<size_t>(image.width) * 4);
  }
  return image;
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
