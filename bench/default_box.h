#pragma once
// The shot the picture benchmarks draw: the default retail box with its
// artwork, still, as the program starts it. Needs a current context.
#include <memory>

#include "scene/product_styles.h"
#include "shot/startup.h"

namespace kestrova::bench {

inline std::unique_ptr<SceneState> DefaultBox() {
  auto scene = std::make_unique<SceneState>();
  InitialiseScene(*scene, KESTROVA_PROGRAM_DIR, 1);
  ApplyBoxStyle(*scene, 0);
  scene->productKind = kProductBox;
  scene->playing = false;
  scene->startupFrameCount = 2;
  return scene;
}

}  // namespace kestrova::bench
