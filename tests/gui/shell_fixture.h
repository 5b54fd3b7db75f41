#pragma once
// The program started as a user starts it, from a program folder of the
// test's own, with scripted dialogs.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/application.h"
#include "app/main_window.h"
#include "app/shot_commands.h"
#include "app/shot_view.h"
#include "tests/support/scripted_platform.h"

namespace kestrova::test {

namespace fs = std::filesystem;

// A program folder of our own with a few samples and the end marker.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    // The assets the build made, so start-up finds its images and models.
    for (const char* assets : {"Boxes", "Books", "Mug", "Sequences"}) {
      fs::copy(fs::path(KESTROVA_PROGRAM_DIR) / assets, path() / assets, fs::copy_options::recursive);
    }
    samples_ = 0;
    for (const auto& entry : fs::directory_iterator(path() / "Sequences")) samples_ += entry.path().extension() == ".TSMR";
    Application::UseProfileNames();
    QSettings().clear();  // each test starts as a first run
  }

  // The commands of the running program's window.
  static ShotCommands* commands() { return Application::instance()->mainWindow()->commands(); }

  fs::path path() const { return fs::path(folder_.path().toStdString()); }
  void writeFlag(const std::string& text) { std::ofstream(path() / "Flag.txt", std::ios::binary) << text; }
  std::string readFlag() const {
    std::ifstream in(path() / "Flag.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::unique_ptr<Application> start(const QStringList& arguments = {}) {
    auto app = std::make_unique<Application>(platform_, folder_.path());
    EXPECT_TRUE(app->InitInstance(arguments));
    ShotView* view = Application::ActiveView();
    EXPECT_NE(view, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(app->mainWindow()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->framesDrawn() > 2; }, 5000));
    return app;
  }

  QTemporaryDir folder_;
  test::ScriptedPlatform platform_;
  int samples_ = 0;  // the shipped samples and the end marker
};

}  // namespace kestrova::test
