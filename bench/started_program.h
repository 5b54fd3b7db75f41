#pragma once
// The window program started as a user starts it, from a copy of the build's
// program folder, with the desktop's questions answered by script: what the
// window benchmarks measure.
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/shot_view.h"
#include "tests/support/scripted_platform.h"

namespace kestrova::bench {

struct StartedProgram {
  QTemporaryDir folder;
  std::unique_ptr<test::ScriptedPlatform> platformHeld;
  test::ScriptedPlatform& platform;
  std::unique_ptr<Application> app;
  ShotView* view = nullptr;

  // `flag` is what "Flag.txt" holds: "True" plays the first sample.
  explicit StartedProgram(const std::string& flag,
                          std::unique_ptr<test::ScriptedPlatform> scripted = std::make_unique<test::ScriptedPlatform>())
      : platformHeld(std::move(scripted)), platform(*platformHeld) {
    namespace fs = std::filesystem;
    const fs::path to(folder.path().toStdString());
    for (const char* assets : {"Boxes", "Books", "Mug", "Sequences"}) {
      fs::copy(fs::path(KESTROVA_PROGRAM_DIR) / assets, to / assets, fs::copy_options::recursive);
    }
    std::ofstream(to / "Flag.txt", std::ios::binary) << flag;
    app = std::make_unique<Application>(platform, folder.path());
    app->InitInstance({});
    view = Application::ActiveView();
  }
};

}  // namespace kestrova::bench
