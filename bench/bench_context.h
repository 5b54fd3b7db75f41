#pragma once
// A headless context the size of a benchmark's two arguments (width,
// height); null, with the benchmark marked failed, when none can be made.
#include <benchmark/benchmark.h>

#include <memory>

#include "render/headless_context.h"

namespace kestrova::bench {

inline std::unique_ptr<HeadlessContext> SizedContext(benchmark::State& state) {
  auto context = std::make_unique<HeadlessContext>(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (context->isValid()) return context;
  state.SkipWithError(context->error().c_str());
  return nullptr;
}

}  // namespace kestrova::bench
