// The studio look beside the classic frame, in one run: a new 1920 x 1080
// picture of the default box drawn each way (its pose changed each time, so
// nothing is kept from the last), the peak memory of a 7680 x 4320 picture
// written as a PNG by kestrova-render in a fresh process each way, a still
// (the median of five) and a 200-row batch as whole processes each way (time and peak memory,
// and the studio's ratios to the classic), and 200 rows each with a cover
// of its own at 2000 x 2000; a 6000 x 4500 still each way.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/default_box.h"
#include "bench/fresh_process.h"
#include "formats/png_writer.h"
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

// A folder of covers (a few, or one a row at 2000 x 2000) and two
// spreadsheets of 200 rows: the same three covers again and again, and a
// cover of its own every row.
std::filesystem::path batchFolder() {
  static const std::filesystem::path folder = [] {
    const std::filesystem::path f = std::filesystem::temp_directory_path() / "kestrova-bench-studio-batch";
    std::filesystem::create_directories(f / "out");
    std::vector<uint8_t> row(2000 * 4);
    for (int cover = 0; cover < 200; ++cover) {
      const std::filesystem::path name = f / ("cover" + std::to_string(cover) + ".png");
      if (std::filesystem::exists(name)) continue;
      kestrova::PngWriter writer;
      std::string error;
      if (!writer.open(name.string(), 2000, 2000, false, &error)) break;
      for (int y = 0; y < 2000; ++y) {
        for (int x = 0; x < 2000; ++x) {
          uint8_t* p = &row[static_cast<size_t>(x) * 4];
          p[0] = static_cast<uint8_t>(y * (cover + 1)), p[1] = static_cast<uint8_t>(x * 7), p[2] = static_cast<uint8_t>(cover * 5);
          p[3] = 255;
        }
        writer.write(row.data(), 1, &error);
      }
      writer.finish(&error);
    }
    std::ofstream same(f / "same.csv"), distinct(f / "distinct.csv");
    same << "output,face.front\n";
    distinct << "output,face.front\n";
    for (int r = 0; r < 200; ++r) {
      same << "out/s" << r << ".png,cover" << r % 3 << ".png\n";
      distinct << "out/d" << r << ".png,cover" << r << ".png\n";
    }
    return f;
  }();
  return folder;
}

// Each named command run `turns` times, the commands in turns so that one
// slow moment of the machine is not one command's figure: the median run
// of each, by time.
std::map<std::string, kestrova::bench::ProcessRun> medianRuns(
    const std::map<std::string, std::vector<std::string>>& commands, int turns) {
  std::map<std::string, std::vector<kestrova::bench::ProcessRun>> seen;
  for (int turn = 0; turn < turns; ++turn) {
    for (const auto& [name, command] : commands) seen[name].push_back(kestrova::bench::RunProcess(command));
  }
  std::map<std::string, kestrova::bench::ProcessRun> runs;
  for (auto& [name, list] : seen) {
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
    runs[name] = list[list.size() / 2];
  }
  return runs;
}

// Whole processes, each look: the still, the batch of recurring covers,
// the batch of covers of their own. Counters: seconds and peak MiB each,
// and the studio's ratios to the classic for the still and the batch.
void looksAsProcesses(benchmark::State& state) {
  const std::filesystem::path folder = batchFolder();
  std::map<std::string, kestrova::bench::ProcessRun> runs;
  for (auto _ : state) {
    // The still, a third of a second, five times each way: its median.
    std::map<std::string, std::vector<std::string>> stills;
    for (const char* look : {"classic", "studio"}) {
      stills[look] = {KESTROVA_RENDER_PROGRAM, "--look", look, "--size", "1920x1080", "-o", (folder / "out" / "still.png").string()};
    }
    for (const auto& [look, run] : medianRuns(stills, 5)) runs["still " + look] = run;
    for (const char* look : {"classic", "studio"}) {
      const std::string l = look;
      runs["batch " + l] = kestrova::bench::RunProcess(
          {KESTROVA_RENDER_PROGRAM, "--look", l, "--size", "1920x1080", "--batch", (folder / "same.csv").string()});
      runs["distinct " + l] = kestrova::bench::RunProcess(
          {KESTROVA_RENDER_PROGRAM, "--look", l, "--size", "1920x1080", "--batch", (folder / "distinct.csv").string()});
    }
  }
  for (const auto& [name, run] : runs) {
    if (run.status != 0) return state.SkipWithError((name + " failed").c_str());
    std::string key = name;
    for (char& c : key) c = c == ' ' ? '_' : c;
    state.counters[key + "_s"] = run.seconds;
    state.counters[key + "_MiB"] = static_cast<double>(run.peakKiB) / 1024;
  }
  for (const char* what : {"still", "batch"}) {
    const auto& classic = runs[std::string(what) + " classic"];
    const auto& studio = runs[std::string(what) + " studio"];
    state.counters[std::string(what) + "_time_ratio"] = studio.seconds / classic.seconds;
    state.counters[std::string(what) + "_memory_ratio"] = static_cast<double>(studio.peakKiB) / classic.peakKiB;
  }
}

// Studio stills of a CD's jewel case (clear lid and base over its print)
// and of a screen shot in a phone (its glass) beside the flat box, each a
// whole process, the median of five taken in turns: seconds, peak MiB and
// the ratios to the flat box.
void casesAsProcesses(benchmark::State& state) {
  const std::filesystem::path folder = batchFolder();
  const std::map<std::string, std::vector<std::string>> shots = {
      {"flat_box", {"--style", "0", "--radius", "0"}},
      {"jewel_case", {"--style", "4"}},
      {"phone", {"--product", "screenshot", "--device", "phone"}},
  };
  std::map<std::string, std::vector<std::string>> commands;
  for (const auto& [name, arguments] : shots) {
    commands[name] = {KESTROVA_RENDER_PROGRAM, "--look", "studio", "--size", "1920x1080", "-o", (folder / "out" / "case.png").string()};
    commands[name].insert(commands[name].end(), arguments.begin(), arguments.end());
  }
  std::map<std::string, kestrova::bench::ProcessRun> runs;
  for (auto _ : state) runs = medianRuns(commands, 5);
  for (const auto& [name, run] : runs) {
    if (run.status != 0) return state.SkipWithError((name + " failed").c_str());
    state.counters[name + "_s"] = run.seconds;
    state.counters[name + "_MiB"] = static_cast<double>(run.peakKiB) / 1024;
    state.counters[name + "_time_ratio"] = run.seconds / runs["flat_box"].seconds;
    state.counters[name + "_memory_ratio"] = static_cast<double>(run.peakKiB) / runs["flat_box"].peakKiB;
  }
}

// A 6000 x 4500 still, drawn in tiles and (in the studio look) in
// multisampled parts, each look as a whole process, the median of three:
// seconds, peak MiB and the studio's ratios to the classic frame.
void largeStillsAsProcesses(benchmark::State& state) {
  const std::filesystem::path folder = batchFolder();
  std::map<std::string, kestrova::bench::ProcessRun> runs;
  std::map<std::string, std::vector<std::string>> stills;
  for (const char* look : {"classic", "studio"}) {
    stills[look] = {KESTROVA_RENDER_PROGRAM, "--look", look, "--size", "6000x4500", "-o", (folder / "out" / "large.png").string()};
  }
  for (auto _ : state) runs = medianRuns(stills, 3);
  for (const auto& [name, run] : runs) {
    if (run.status != 0) return state.SkipWithError((name + " failed").c_str());
    state.counters[name + "_s"] = run.seconds;
    state.counters[name + "_MiB"] = static_cast<double>(run.peakKiB) / 1024;
  }
  state.counters["time_ratio"] = runs["studio"].seconds / runs["classic"].seconds;
  state.counters["memory_ratio"] = static_cast<double>(runs["studio"].peakKiB) / runs["classic"].peakKiB;
}

}  // namespace

BENCHMARK(largeStillsAsProcesses)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(casesAsProcesses)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(looksAsProcesses)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(picture, classic, false)->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(picture, studio, true)->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(peakMemory, classic, false)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(peakMemory, studio, true)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
