// Import3DS of generated files of about 1 MB and 50 MB, beside a plain read
// of the same bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

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
      Face3DS first;
      first.vertex = {a, a + side, a + side + 1};
      Face3DS second;
      second.vertex = {a, a + side + 1, a + 1};
      object.faces.push_back(first);
      object.faces.push_back(second);
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
  for (int i = 0; i < objects; ++i) model.objects.push_back(gridObject(54, static_cast<float>(i)));
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

}  // namespace

// 10 objects of 54 x 54 vertices make about 1 MB; 500 make about 50 MB.
BENCHMARK(import3ds)->Arg(10)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(plainRead)->Arg(10)->Arg(500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
