// Save Screenshot's work after the dialog: capture the drawn frame, convert
// it to BMP order and write the file, as BMP and as PNG, at two view sizes.
// Drawn headless; the frame itself is drawn before the clock starts.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "formats/bmp_export.h"
#include "render/headless_context.h"
#include "render/read_framebuffer.h"
#include "render/render_frame.h"
#include "render/render_to_image.h"
#include "scene/product_styles.h"
#include "shot/startup.h"

using namespace kestrova;

namespace {

void saveScreenshot(benchmark::State& state, bool png) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  HeadlessContext context(width, height);
  if (!context.isValid()) {
    state.SkipWithError(context.error().c_str());
    return;
  }
  auto scene = std::make_unique<SceneState>();
  InitialiseScene(*scene, KESTROVA_PROGRAM_DIR, 1);
  ApplyBoxStyle(*scene, 0);
  scene->productKind = kProductBox;
  scene->playing = false;
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

}  // namespace

BENCHMARK_CAPTURE(saveScreenshot, bmp, false)
    ->Args({1024, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(saveScreenshot, png, true)
    ->Args({1024, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(9)->ReportAggregatesOnly(true);
