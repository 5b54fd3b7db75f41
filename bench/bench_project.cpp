// ReadProject (with the bake) of a shot with 200 keys over 9999 frames, and
// WriteProject of it; Add Key on an animation of 1000 keys; choosing a preset
// (load, image reloads, bake) as the control panel does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "shot/project_io.h"
#include "animation/keyframes.h"
#include "render/headless_context.h"
#include "shot/startup.h"

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

std::unique_ptr<SceneState> thousandKeys() {
  auto scene = std::make_unique<SceneState>();
  for (int k = 1; k <= 1000; ++k) {
    scene->rotation = {static_cast<float>(k % 90), static_cast<float>(k * 3), 0};
    AddKey(*scene, k * 9);
  }
  return scene;
}

// `frame` 9999 appends a segment; 4500 lands among the keys, so they are put
// in order and every segment is baked again.
void addKey(benchmark::State& state) {
  const auto start = thousandKeys();
  auto scene = std::make_unique<SceneState>();
  const int frame = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    *scene = *start;
    state.ResumeTiming();
    if (!AddKey(*scene, frame).done) state.SkipWithError("refused");
  }
}

void choosePreset(benchmark::State& state) {
  HeadlessContext context(16, 16);
  auto scene = std::make_unique<SceneState>();
  InitialiseScene(*scene, KESTROVA_PROGRAM_DIR, 1);
  for (auto _ : state) {
    if (!LoadPreset(*scene, 1).ok) state.SkipWithError("refused");
  }
  state.counters["frames"] = scene->bakedFrameCount;
}

}  // namespace

BENCHMARK(addKey)->Arg(9999)->Arg(4500)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(choosePreset)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(readProject)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(writeProject)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
