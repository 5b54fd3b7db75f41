// kestrova-render as a user runs it, each run a fresh process: the default
// box at 1920 x 1080 and at 64 x 64 (what every render costs), beside the
// bare EGL clear-and-read program at the same sizes, and a 16384-pixel
// square (memory). Reports wall time and peak resident memory.
// KESTROVA_RENDER names another kestrova-render to measure (an older build).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace

BENCHMARK(render)->Args({1920, 1080})->Args({64, 64})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(bareEgl)->Args({1920, 1080})->Args({64, 64})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(render)->Name("renderHuge")->Args({16384, 16384})->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
