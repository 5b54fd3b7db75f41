// LoadTexture of a large JPEG and a medium PNG: decode, stretch to powers of
// two, convert and upload.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <fstream>
#include <memory>

#include "pictures/picture.h"
#include "render/texture_loader.h"
#include "tests/support/metafile_writer.h"
#include "render/headless_context.h"

using namespace kestrova;

namespace {

QString writePicture(const QTemporaryDir& dir, int width, int height, const char* format) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, width, height);
  gradient.setColorAt(0, QColor(20, 40, 120));
  gradient.setColorAt(1, QColor(240, 170, 40));
  painter.fillRect(image.rect(), gradient);
  for (int i = 0; i < 200; ++i) {
    painter.setPen(QColor::fromHsv((i * 37) % 360, 200, 230));
    painter.drawEllipse(QPoint((i * 7919) % width, (i * 104729) % height), 40 + i % 90, 30 + i % 70);
  }
  painter.end();
  const QString path = dir.path() + "/picture." + format;
  image.save(path, format, 90);
  return path;
}

void loadTexture(benchmark::State& state, int width, int height, const char* format) {
  HeadlessContext context(64, 64);
  QTemporaryDir dir;
  const std::string path = writePicture(dir, width, height, format).toStdString();
  auto scene = std::make_unique<SceneState>();
  scene->imagePathIsAbsolute = 2;
  uint32_t slot = 0;
  for (auto _ : state) {
    if (!LoadTexture(*scene, path, slot)) state.SkipWithError("load failed");
  }
}

// The artwork formats at 2000 x 2000, decoded and drawn at that size, beside
// a PNG of the same picture: the drawings (SVG, PDF) play in the helper.
void paintArtwork(QPainter& painter, int side) {
  QLinearGradient gradient(0, 0, side, side);
  gradient.setColorAt(0, QColor(20, 40, 120));
  gradient.setColorAt(1, QColor(240, 170, 40));
  painter.fillRect(QRect(0, 0, side, side), gradient);
  for (int i = 0; i < 200; ++i) {
    painter.setPen(QColor::fromHsv((i * 37) % 360, 200, 230));
    painter.drawEllipse(QPoint((i * 7919) % side, (i * 104729) % side), 40 + i % 90, 30 + i % 70);
  }
}

std::string writeArtwork(const QTemporaryDir& dir, const QString& format) {
  constexpr int kSide = 2000;
  const QString path = dir.path() + "/artwork." + format;
  if (format == "pdf") {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QSizeF(kSide * 0.75, kSide * 0.75), QPageSize::Point));  // 2000 px at 96 dpi
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(96);
    QPainter painter(&writer);
    paintArtwork(painter, kSide);
  } else if (format == "svg") {
    std::ofstream svg(path.toStdString());
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSide << "\" height=\"" << kSide << "\">"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#284078\"/>";
    for (int i = 0; i < 200; ++i) {
      svg << "<ellipse cx=\"" << (i * 7919) % kSide << "\" cy=\"" << (i * 104729) % kSide << "\" rx=\""
          << 40 + i % 90 << "\" ry=\"" << 30 + i % 70 << "\" fill=\"none\" stroke=\"#e0a020\"/>";
    }
    svg << "</svg>";
  } else {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    QPainter painter(&image);
    paintArtwork(painter, kSide);
    painter.end();
    if (format == "psd") {
      // A Photoshop file as a flattened save leaves it: RGB planes, raw.
      std::string psd = "8BPS";
      auto put = [&psd](uint32_t value, int bytes) {
        for (int b = bytes - 1; b >= 0; --b) psd += static_cast<char>((value >> (8 * b)) & 0xFF);
      };
      put(1, 2);
      psd += std::string(6, '\0');
      put(3, 2), put(kSide, 4), put(kSide, 4), put(8, 2), put(3, 2), put(0, 4), put(0, 4), put(0, 4), put(0, 2);
      for (int shift : {16, 8, 0}) {
        for (int y = 0; y < kSide; ++y) {
          const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
          for (int x = 0; x < kSide; ++x) psd += static_cast<char>((row[x] >> shift) & 0xFF);
        }
      }
      std::ofstream(path.toStdString(), std::ios::binary) << psd;
    } else {
      image.save(path, format.toLatin1().constData(), format == "webp" ? 100 : -1);
    }
  }
  return path.toStdString();
}

void decodeArtwork(benchmark::State& state, const char* format) {
  QTemporaryDir dir;
  const std::string path = writeArtwork(dir, format);
  for (auto _ : state) {
    const PictureResult decoded = LoadPicture(path);
    if (!decoded.picture) {
      state.SkipWithError(decoded.error.c_str());
      break;
    }
    // The size the texture loader draws a 2000-pixel picture at: the
    // nearest power of two. A drawing is drawn there once, by the helper.
    benchmark::DoNotOptimize(decoded.picture->render(2048, 2048));
  }
}

// A metafile face: drawn by the helper process (what the program does), and
// in this process (what it did before the helper), for the helper's cost.
void loadMetafile(benchmark::State& state, bool emf, bool apart) {
  HeadlessContext context(64, 64);
  QTemporaryDir dir;
  const std::vector<uint8_t> bytes =
      emf ? test::MakeEmf(800, 600, 21167, 15875, 40, 90, 200) : test::MakeWmf(800, 600, 96, 40, 90, 200);
  const std::string path = dir.path().toStdString() + (emf ? "/face.emf" : "/face.wmf");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  auto scene = std::make_unique<SceneState>();
  scene->imagePathIsAbsolute = 2;
  uint32_t slot = 0;
  for (auto _ : state) {
    if (apart) {
      if (!LoadTexture(*scene, path, slot)) state.SkipWithError("load failed");
    } else {
      const PictureResult decoded = DecodeMetafileHere(bytes, path);
      if (!decoded.picture) state.SkipWithError("decode failed");
      benchmark::DoNotOptimize(decoded.picture->render(1024, 512));
    }
  }
}

}  // namespace

BENCHMARK_CAPTURE(loadMetafile, wmfApart, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadMetafile, wmfHere, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadMetafile, emfApart, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadMetafile, emfHere, true, false)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(decodeArtwork, png, "png")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(decodeArtwork, webp, "webp")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(decodeArtwork, tiff, "tiff")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(decodeArtwork, svg, "svg")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(decodeArtwork, pdf, "pdf")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(decodeArtwork, psd, "psd")->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_CAPTURE(loadTexture, jpeg4000x3000, 4000, 3000, "jpg")
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(loadTexture, png1000x1000, 1000, 1000, "png")
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
