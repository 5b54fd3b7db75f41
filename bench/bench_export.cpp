// Save Screenshot's work after the dialog: capture the drawn frame, convert
// it to BMP order and write the file, as BMP and as PNG, at two view sizes.
// Drawn headless; the frame itself is drawn before the clock starts.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "formats/bmp_export.h"
#include "formats/video_writer.h"
#include "pictures/qimage_bridge.h"
#include "render/export_image.h"
#include "shot/project_io.h"
#include "render/headless_context.h"
#include "render/read_framebuffer.h"
#include "render/classic/render_frame.h"
#include "render/render_to_image.h"
#include "scene/product_styles.h"
#include "bench/bench_context.h"
#include "bench/default_box.h"
#include "shot/startup.h"

using namespace kestrova;

namespace {

void saveScreenshot(benchmark::State& state, bool png) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const auto context = bench::SizedContext(state);
  if (!context) return;
  auto scene = bench::DefaultBox();
  RenderHost host;
  RenderToImage(*scene, host, width, height);
  const std::string path =
      (std::filesystem::temp_directory_path() / (png ? "kestrova-bench.png" : "kestrova-bench.bmp")).string();
  for (auto _ : state) {
    const CapturedFrame frame = CaptureFromRgba(ReadFramebuffer(width, height));
    if (png) {
      const QImage image =
          QImage(frame.bgr.data(), frame.width, frame.height, frame.width * 3, QImage::Format_BGR888).mirrored();
      if (!image.save(QString::fromStdString(path), "PNG")) state.SkipWithError("not written");
    } else {
      std::string error;
      if (!WriteBmpFile(path, frame, &error)) state.SkipWithError(error.c_str());
    }
  }
  std::remove(path.c_str());
}

// kestrova-render's picture path: drawn off screen (in tiles) and written as
// PNG, at 1080p and 4K, to see the cost grow with the pixels.
// A third argument of 1 puts the box on the studio floor (shadow and
// reflection), to compare with the same picture without it.
void exportPng(benchmark::State& state) {
  HeadlessContext context(64, 64);
  auto scene = bench::DefaultBox();
  scene->studioFloor.shadow = scene->studioFloor.reflection = state.range(2) != 0;
  RenderHost host;
  ExportOptions options;
  options.width = static_cast<int>(state.range(0));
  options.height = static_cast<int>(state.range(1));
  const std::string path = (std::filesystem::temp_directory_path() / "kestrova-export.png").string();
  for (auto _ : state) {
    std::string error;
    const RgbaImage image = RenderExport(*scene, host, options, &error);
    if (image.pixels.empty() || !ToQImage(image).convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(path), "PNG")) {
      state.SkipWithError("not drawn");
    }
  }
  state.counters["pixels"] = static_cast<double>(options.width) * options.height;
  std::remove(path.c_str());
}

// The retail box sample as a 1280 x 720 MP4: frames encoded a second.
void exportVideo(benchmark::State& state) {
  HeadlessContext context(64, 64);
  auto scene = std::make_unique<SceneState>();
  InitialiseScene(*scene, KESTROVA_PROGRAM_DIR, 1);
  if (!ReadProject(*scene, std::string(KESTROVA_PROGRAM_DIR) + "/Sequences/01 Retail Box.TSMR").ok) {
    state.SkipWithError("no sample");
    return;
  }
  RenderHost host;
  const std::string path = (std::filesystem::temp_directory_path() / "kestrova-export.mp4").string();
  int frames = 0;
  for (auto _ : state) {
    std::string error;
    auto writer = VideoWriter::Open(path, 1280, 720, 30, &error);
    for (int f = 0; writer && f < scene->bakedFrameCount; ++f) {
      ExportOptions options;
      options.width = 1280;
      options.height = 720;
      options.frame = f;
      writer->addFrame(RenderExport(*scene, host, options, &error), &error);
      ++frames;
    }
    if (writer) writer->finish(&error);
  }
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(exportPng)->Args({1920, 1080, 0})->Args({1920, 1080, 1})->Args({3840, 2160, 0})->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(exportVideo)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_CAPTURE(saveScreenshot, bmp, false)
    ->Args({1024, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(saveScreenshot, png, true)
    ->Args({1024, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(9)->ReportAggregatesOnly(true);
