// ReadProject (with the bake) of a shot with 200 keys over 9999 frames, and
// WriteProject of it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "shot/project_io.h"
#include "animation/keyframes.h"
#include "render/headless_context.h"

using namespace kestrova;

namespace {

std::unique_ptr<SceneState> twoHundredKeys() {
  auto scene = std::make_unique<SceneState>();
  for (int k = 1; k <= 200; ++k) {
    scene->rotation = {static_cast<float>(k % 40), static_cast<float>(k * 9), 0};
    scene->pan = {static_cast<float>(k % 7), 0, static_cast<float>(-k % 30)};
    AddKey(*scene, k == 200 ? 9999 : k * 50);
  }
  return scene;
}

const std::string& projectPath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "kestrova-bench.TSMR").string();
    auto scene = twoHundredKeys();
    WriteProject(*scene, p);
    return p;
  }();
  return path;
}

void readProject(benchmark::State& state) {
  HeadlessContext context(16, 16);
  auto scene = std::make_unique<SceneState>();
  for (auto _ : state) {
    if (!ReadProject(*scene, projectPath()).ok) state.SkipWithError("refused");
  }
  state.counters["frames"] = scene->bakedFrameCount;
}

void writeProject(benchmark::State& state) {
  auto scene = twoHundredKeys();
  const std::string path = (std::filesystem::temp_directory_path() / "kestrova-bench-out.TSMR").string();
  for (auto _ : state) {
    if (!WriteProject(*scene, path).ok) state.SkipWithError("not written");
  }
}

}  // namespace

BENCHMARK(readProject)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(writeProject)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
