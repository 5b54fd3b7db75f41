// Frames per second of RenderFrame for the default box with its artwork,
// drawn headless; faces from vertex arrays and, for comparison, in
// immediate mode; beside a bare clear of the same size.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_context.h"
#include "bench/default_box.h"
#include "render/classic/face_geometry.h"
#include "render/headless_context.h"
#include "render/classic/render_frame.h"
#include "scene/product_styles.h"

using namespace kestrova;

namespace {

// A third argument of 1 stands the box on the studio floor.
void renderDefaultBox(benchmark::State& state, bool immediate) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const auto context = bench::SizedContext(state);
  if (!context) return;
  auto scene = bench::DefaultBox();
  scene->studioFloor.shadow = scene->studioFloor.reflection = state.range(2) != 0;
  ApplyViewSize(*scene, width, height);
  RenderHost host;
  UseImmediateModeFaces(immediate);
  for (auto _ : state) {
    RenderFrame(*scene, host);
    glFinish();  // count the drawing, not just the queueing
  }
  UseImmediateModeFaces(false);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
}

// The reference: a frame that only clears colour and depth, the least any
// frame costs at this size.
void bareClear(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const auto context = bench::SizedContext(state);
  if (!context) return;
  glViewport(0, 0, width, height);
  glClearColor(1, 1, 1, 0);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFinish();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(bareClear)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(renderDefaultBox, vertexArrays, false)
    ->Args({1280, 720, 0})->Args({1280, 720, 1})->Args({1920, 1080, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(renderDefaultBox, immediateMode, true)
    ->Args({1280, 720, 0})->Args({1920, 1080, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
