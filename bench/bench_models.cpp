// Import3DS of generated files of 10.6 MB (41 objects) and 105 MB (410
// objects), beside a plain read of the same bytes into a fresh buffer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench/fresh_process.h"
#include "formats/model_3ds.h"

using namespace kestrova;

namespace {

// A grid object of side x side vertices, two triangles per cell.
Object3DS gridObject(int side, float offset) {
  Object3DS object;
  object.name = "Grid";
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) {
      const float x = static_cast<float>(i);
      const float y = static_cast<float>(j);
      object.vertices.push_back({x, y, std::sin(x * 0.3f) * std::cos(y * 0.2f) + offset});
      object.texCoords.push_back({x / static_cast<float>(side), y / static_cast<float>(side)});
    }
  }
  for (int i = 0; i + 1 < side; ++i) {
    for (int j = 0; j + 1 < side; ++j) {
      const int a = i * side + j;
      auto index = [](int v) { return static_cast<uint16_t>(v); };
      object.faces.push_back({{index(a), index(a + side), index(a + side + 1)}});
      object.faces.push_back({{index(a), index(a + side + 1), index(a + 1)}});
    }
  }
  object.materialIndex = 0;
  return object;
}

const std::string& modelFile(int objects) {
  static std::map<int, std::string> files;
  auto& path = files[objects];
  if (!path.empty()) return path;
  Model3DS model;
  Material3DS material;
  material.name = "Paint";
  material.textureFile = "paint.jpg";
  model.materials.push_back(material);
  for (int i = 0; i < objects; ++i) model.objects.push_back(gridObject(81, static_cast<float>(i)));
  const std::vector<uint8_t> bytes = Write3DS(model);
  path = (std::filesystem::temp_directory_path() / ("kestrova-bench-" + std::to_string(objects) + ".3ds")).string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
  return path;
}

void import3ds(benchmark::State& state) {
  const std::string& path = modelFile(static_cast<int>(state.range(0)));
  const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
  for (auto _ : state) {
    Model3DS model;
    if (!Import3DS(model, path).ok) state.SkipWithError("refused");
    benchmark::DoNotOptimize(model.objects.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["MB"] = static_cast<double>(size) / 1e6;
}

void plainRead(benchmark::State& state) {
  const std::string& path = modelFile(static_cast<int>(state.range(0)));
  const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(static_cast<size_t>(size));
    in.read(bytes.data(), size);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

// KESTROVA_LOAD_3DS_CHILD names another loader program (an older build's).
std::string child() {
  const char* set = std::getenv("KESTROVA_LOAD_3DS_CHILD");
  return set && *set ? set : KESTROVA_LOAD_3DS_CHILD;
}

// The same two in fresh processes (bench_load_3ds), as a user's program
// meets them: every page of the model and of the buffer is new. Reports the
// process's peak resident memory beside the file's size.
void freshProcess(benchmark::State& state, const char* mode) {
  const std::string& path = modelFile(static_cast<int>(state.range(0)));
  const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
  long peak = 0;
  for (auto _ : state) {
    const bench::ProcessRun run = bench::RunProcess({child(), mode, path});
    if (run.status != 0) {
      state.SkipWithError("the child failed");
      break;
    }
    state.SetIterationTime(std::stod(run.out) / 1e9);
    peak = std::max(peak, run.peakKiB);
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["peakMiB"] = static_cast<double>(peak) / 1024.0;
  state.counters["peakPerFile"] = static_cast<double>(peak) * 1024.0 / static_cast<double>(size);
}

}  // namespace

BENCHMARK_CAPTURE(freshProcess, import3ds, "import")->Arg(41)->Arg(410)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(freshProcess, plainRead, "read")->Arg(41)->Arg(410)->UseManualTime()->Unit(benchmark::kMillisecond);

// Objects of 81 x 81 vertices: 41 make 10.6 MB, 410 make 105 MB.
BENCHMARK(import3ds)->Arg(41)->Arg(410)->Unit(benchmark::kMillisecond);
BENCHMARK(plainRead)->Arg(41)->Arg(410)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
