#pragma once
// A headless context with a scene started as the program starts it: the
// default artwork, the models and the Sequences listing of the build's
// program folder. The current directory is put back afterwards.
#include <filesystem>
#include <memory>
#include <optional>

#include "shot/startup.h"
#include "render/render_to_image.h"
#include "tests/support/headless_fixture.h"

namespace kestrova::test {

class ArtworkScene : public HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    previous_ = std::filesystem::current_path();
    scene_ = std::make_unique<SceneState>();
    started_ = InitialiseScene(*scene_, KESTROVA_PROGRAM_DIR, 1);
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  RgbaImage draw(std::optional<int> frame = std::nullopt) {
    RenderHost host;
    return RenderToImage(*scene_, host, kWidth, kHeight, frame);
  }

  std::filesystem::path previous_;
  std::unique_ptr<SceneState> scene_;
  StartupResult started_;
};

}  // namespace kestrova::test
