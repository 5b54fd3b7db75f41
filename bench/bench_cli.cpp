// kestrova-render as a user runs it, each run a fresh process: the default
// box at 1920 x 1080 and at 64 x 64 (what every render costs), beside the
// bare EGL clear-and-read program at the same sizes, and a 16384-pixel
// square (memory). Reports wall time and peak resident memory.
// KESTROVA_RENDER names another kestrova-render to measure (an older build).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/fresh_process.h"

namespace {

std::string renderProgram() {
  const char* set = std::getenv("KESTROVA_RENDER");
  return set && *set ? set : KESTROVA_RENDER_PROGRAM;
}

std::string output() { return (std::filesystem::temp_directory_path() / "kestrova-bench-cli.png").string(); }

void report(benchmark::State& state, const std::vector<std::string>& argv) {
  long peak = 0;
  for (auto _ : state) {
    const kestrova::bench::ProcessRun run = kestrova::bench::RunProcess(argv);
    if (run.status != 0) {
      state.SkipWithError("the program failed");
      break;
    }
    state.SetIterationTime(run.seconds);
    peak = std::max(peak, run.peakKiB);
  }
  state.counters["peakMiB"] = static_cast<double>(peak) / 1024.0;
}

void render(benchmark::State& state) {
  const std::string size = std::to_string(state.range(0)) + "x" + std::to_string(state.range(1));
  report(state, {renderProgram(), "-o", output(), "--size", size});
}

void bareEgl(benchmark::State& state) {
  report(state, {KESTROVA_BARE_EGL, std::to_string(state.range(0)), std::to_string(state.range(1))});
}

// A catalogue: 200 renders of the default box at 1280 x 720 with ten
// different front covers (drawn by kestrova-render itself first).
constexpr int kCatalogueRows = 200;

std::filesystem::path catalogueFolder() {
  static const std::filesystem::path folder = [] {
    const auto made = std::filesystem::temp_directory_path() / "kestrova-bench-catalogue";
    std::filesystem::create_directories(made / "out");
    for (int cover = 0; cover < 10; ++cover) {
      kestrova::bench::RunProcess({renderProgram(), "-o", (made / ("cover" + std::to_string(cover) + ".png")).string(),
                                   "--size", "512x512", "--rotation", "10," + std::to_string(cover * 36) + ",0"});
    }
    std::ofstream csv(made / "jobs.csv");
    csv << "output,face.front\n";
    for (int row = 0; row < kCatalogueRows; ++row) {
      csv << "out/" << row << ".png,cover" << row % 10 << ".png\n";
    }
    return made;
  }();
  return folder;
}

void perPicture(benchmark::State& state, double seconds) {
  state.counters["pictures_per_s"] = kCatalogueRows / seconds;
  state.counters["pictures_per_s_per_core"] = kCatalogueRows / seconds / 2.0;
}

void catalogueBatch(benchmark::State& state) {
  const auto folder = catalogueFolder();
  for (auto _ : state) {
    const kestrova::bench::ProcessRun run = kestrova::bench::RunProcess(
        {renderProgram(), "--batch", (folder / "jobs.csv").string(), "--size", "1280x720"});
    if (run.status != 0) state.SkipWithError("the batch failed");
    state.SetIterationTime(run.seconds);
    perPicture(state, run.seconds);
  }
}

void catalogueProcesses(benchmark::State& state) {
  const auto folder = catalogueFolder();
  for (auto _ : state) {
    double seconds = 0;
    for (int row = 0; row < kCatalogueRows; ++row) {
      const kestrova::bench::ProcessRun run = kestrova::bench::RunProcess(
          {renderProgram(), "-o", (folder / "out" / (std::to_string(row) + ".png")).string(), "--size", "1280x720",
           "--face", "front=" + (folder / ("cover" + std::to_string(row % 10) + ".png")).string()});
      if (run.status != 0) state.SkipWithError("a render failed");
      seconds += run.seconds;
    }
    state.SetIterationTime(seconds);
    perPicture(state, seconds);
  }
}

// The mug model at 1280 x 720, 200 times: one batch of ours against 200 runs
// of F3D (Debian's f3d, a VTK viewer; needs a display, e.g. xvfb-run).
void mugBatch(benchmark::State& state) {
  const auto folder = catalogueFolder();
  {
    std::ofstream csv(folder / "mugs.csv");
    csv << "output\n";
    for (int row = 0; row < kCatalogueRows; ++row) csv << "out/mug" << row << ".png\n";
  }
  for (auto _ : state) {
    const kestrova::bench::ProcessRun run = kestrova::bench::RunProcess(
        {renderProgram(), "--batch", (folder / "mugs.csv").string(), "--product", "mug", "--size", "1280x720"});
    if (run.status != 0) state.SkipWithError("the batch failed");
    state.SetIterationTime(run.seconds);
    perPicture(state, run.seconds);
  }
}

void mugF3d(benchmark::State& state) {
  if (std::system("test -x /usr/bin/f3d") != 0 || !std::getenv("DISPLAY")) {
    state.SkipWithError("needs f3d (apt-get install f3d) and a display (xvfb-run)");
    return;
  }
  const auto folder = catalogueFolder();
  const std::string model = std::string(KESTROVA_PROGRAM_DIR) + "/Mug/Coffee-Mug.3ds";
  for (auto _ : state) {
    double seconds = 0;
    for (int row = 0; row < kCatalogueRows; ++row) {
      const kestrova::bench::ProcessRun run = kestrova::bench::RunProcess(
          {"/usr/bin/f3d", model, "--output=" + (folder / "out" / ("f3d" + std::to_string(row) + ".png")).string(),
           "--resolution=1280,720"});
      if (run.status != 0) state.SkipWithError("f3d failed");
      seconds += run.seconds;
    }
    state.SetIterationTime(seconds);
    perPicture(state, seconds);
  }
}

}  // namespace

BENCHMARK(mugBatch)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(mugF3d)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(catalogueBatch)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(catalogueProcesses)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(render)->Args({1920, 1080})->Args({64, 64})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(bareEgl)->Args({1920, 1080})->Args({64, 64})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(render)->Name("renderHuge")->Args({16384, 16384})->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
