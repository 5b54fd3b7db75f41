// The studio look beside the classic frame, in one run: a new 1920 x 1080
// picture of the default box drawn each way (its pose changed each time, so
// nothing is kept from the last), and the peak memory of a 7680 x 4320
// picture written as a PNG by kestrova-render in a fresh process each way.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/default_box.h"
#include "render/export_image.h"
#include "render/headless_context.h"

using namespace kestrova;

namespace {

void picture(benchmark::State& state, bool studio) {
  HeadlessContext context(64, 64);
  if (!context.isValid()) return state.SkipWithError(context.error().c_str());
  auto scene = bench::DefaultBox();
  scene->look.studio = studio;
  scene->studioFloor.shadow = studio;
  RenderHost host;
  ExportOptions options;
  options.width = static_cast<int>(state.range(0));
  options.height = static_cast<int>(state.range(1));
  std::string error;
  int turn = 0;
  for (auto _ : state) {
    scene->rotation[1] = 30.0f + static_cast<float>(++turn % 7);
    const RgbaImage image = RenderExport(*scene, host, options, &error);
    if (image.pixels.empty()) return state.SkipWithError(error.c_str());
  }
  state.counters["pictures_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                        benchmark::Counter::kIsRate);
}

// kestrova-render's own report of its peak resident memory (--timings).
void peakMemory(benchmark::State& state, bool studio) {
  const std::string command = std::string(KESTROVA_RENDER_PROGRAM) + " --size 7680x4320 -o /tmp/kestrova-bench-studio.png" +
                              (studio ? " --look studio" : "") + " --timings 2>&1";
  double peak = 0;
  for (auto _ : state) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return state.SkipWithError("cannot start kestrova-render");
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
      if (const char* at = std::strstr(line, "VmHWM ")) peak = std::atof(at + 6);
    }
    if (pclose(pipe) != 0) return state.SkipWithError("kestrova-render failed");
  }
  std::remove("/tmp/kestrova-bench-studio.png");
  state.counters["peak_MiB"] = peak;
}

}  // namespace

BENCHMARK_CAPTURE(picture, classic, false)->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(picture, studio, true)->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(peakMemory, classic, false)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(peakMemory, studio, true)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
