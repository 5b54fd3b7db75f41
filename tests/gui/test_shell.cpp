#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/application.h"
#include "app/shot_view.h"
#include "app/main_window.h"
#include "shot/project_io.h"
#include "render/scene_initialiser.h"
#include "tests/support/needs_tool.h"
#include "tests/support/http_test_server.h"
#include "tests/gui/shell_fixture.h"

using namespace kestrova;
using kestrova::test::ShellTest;
namespace fs = std::filesystem;

namespace {

int storedProfileValue() {
  QSettings settings;
  return settings.value("Number of Particles/Value", -1).toInt();
}

}  // namespace

TEST_F(ShellTest, OpensAWindowTitledKestrovaThatKeepsDrawing) {
  writeFlag("False");
  auto app = start();
  EXPECT_EQ(app->mainWindow()->windowTitle(), "Kestrova");
  EXPECT_EQ(app->mainWindow()->menuWidget(), nullptr);
  ShotView* view = Application::ActiveView();
  EXPECT_EQ(app->redrawView(), view);

  // Xvfb draws with the software rasteriser; a modest window keeps the count
  // about the program, not about filling 4x multisampled pixels on the CPU.
  app->mainWindow()->resize(640, 480);
  QTest::qWait(50);
  const long long before = view->framesDrawn();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 1000) QTest::qWait(20);
  const long long frames = view->framesDrawn() - before;
  EXPECT_GE(frames, 40) << "frames drawn in one second";
  // The 10 ms pacing caps the rate a little under 100 a second.
  EXPECT_LE(frames * 1000 / clock.elapsed(), 101);
}

TEST_F(ShellTest, AsksAboutUpdatesBeforeTheWindowShowsAndNoSkipsTheCheck) {
  writeFlag("False");
  auto app = start();
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages[0].text, "Would you like to check for Updates?");
  EXPECT_EQ(platform_.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(platform_.messages[0].icon, MessageIcon::Question);
  EXPECT_EQ(platform_.messages.size(), 1u);
}

TEST_F(ShellTest, YesRunsTheUpdateCheckerAgainstTheScript) {
  writeFlag("False");
  test::HttpTestServer server;
  server.body = "version=99.0.0\n";
  platform_.answers = {MessageAnswer::Yes};
  auto app = std::make_unique<Application>(platform_, folder_.path());
  app->setUpdateScriptUrl(server.url("/kestrova-update.txt"));
  ASSERT_TRUE(app->InitInstance({}));
  ASSERT_EQ(platform_.messages.size(), 2u);
  EXPECT_NE(platform_.messages[1].text.find("99.0.0 is available"), std::string::npos);
}

TEST_F(ShellTest, FirstStartWithMarkerTrueShowsSampleOneAndExitWritesFalse) {
  writeFlag("True");
  QSettings().setValue("Number of Particles/Value", 2);
  {
    auto app = start();
    EXPECT_EQ(Application::ActiveView()->scene().sequenceIndex, 1);
    EXPECT_EQ(Application::ActiveView()->scene().sequenceCount, samples_);
    EXPECT_TRUE(Application::ActiveView()->scene().playing) << "the first sample plays";
  }
  EXPECT_EQ(readFlag(), "False");
  EXPECT_EQ(storedProfileValue(), 1);
}

TEST_F(ShellTest, NextStartContinuesFromTheStoredPositionAndWrapsAtTheEndMarker) {
  writeFlag("False");
  {
    auto app = start();
    EXPECT_EQ(Application::ActiveView()->scene().sequenceIndex, 2) << "no stored value reads as 1";
  }
  QSettings().setValue("Number of Particles/Value", 3);
  {
    auto app = start();
    EXPECT_EQ(Application::ActiveView()->scene().sequenceIndex, 4);
  }
  // The position before the end marker: the next start wraps to the first.
  QSettings().setValue("Number of Particles/Value", samples_ - 1);
  {
    auto app = start();
    EXPECT_EQ(Application::ActiveView()->scene().sequenceIndex, 1);
  }
}

TEST_F(ShellTest, MissingMarkerIsReportedAndWrittenAtExit) {
  {
    auto app = start();
    ASSERT_GE(platform_.messages.size(), 2u);
    EXPECT_EQ(platform_.messages[1].text, "Flag.txt was not found.");
    EXPECT_EQ(platform_.messages[1].icon, MessageIcon::Stop);
    EXPECT_FALSE(Application::ActiveView()->sceneInitialised());
  }
  EXPECT_EQ(readFlag(), "False");
}

TEST_F(ShellTest, AFileOnTheCommandLineDoesNotChangeTheShot) {
  writeFlag("False");
  auto named = std::make_unique<SceneState>();
  named->websiteLink() = "http://named.on.the.command.line.example";
  ASSERT_TRUE(WriteProject(*named, (path() / "shot.TSMR").string()).ok);
  auto app = start({(folder_.path() + "/shot.TSMR")});
  EXPECT_NE(Application::ActiveView()->scene().websiteLink(), named->websiteLink());
  EXPECT_EQ(platform_.messages.size(), 1u);
}

TEST_F(ShellTest, DestroyingTheViewClearsTheRedrawRegistration) {
  writeFlag("False");
  auto app = start();
  delete app->mainWindow()->view();
  EXPECT_EQ(app->redrawView(), nullptr);
  QTest::qWait(50);  // a pending frame timer must not reach the dead view
  EXPECT_EQ(readFlag(), "False");
}

TEST_F(ShellTest, AFaceRequestOpensTheImageDialogAfterTheFrameAndLoadsThePick) {
  writeFlag("False");
  const fs::path picture = path() / "pick.png";
  {
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(picture.string())));
  }
  platform_.fileAnswers = {picture.string()};
  auto app = start();
  SceneState& scene = Application::ActiveView()->scene();
  scene.productKind = kProductBox;
  scene.playing = false;  // box requests wait while the start-up sample plays
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        Application::ActiveView()->requestFrame();
        return scene.startupFrameCount > 2;
      },
      5000));
  const uint32_t before = scene.textureSlot[kSlotBoxFront];
  scene.boxFrontLoadRequest = 2;
  Application::ActiveView()->requestFrame();
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene.textureName[kNameBoxFront] == "Boxes/pick.png"; }, 5000));
  EXPECT_EQ(scene.boxFrontLoadRequest, 0.0f);
  ASSERT_EQ(platform_.fileRequests.size(), 1u);
  EXPECT_EQ(platform_.fileRequests[0].title, "Select Back Texture");
  EXPECT_TRUE(platform_.fileRequests[0].fileMustExist);
  EXPECT_NE(scene.textureSlot[kSlotBoxFront], before);
  EXPECT_EQ(scene.pictureWidth[0], 1693);
}

TEST_F(ShellTest, AnUnreadablePickIsReportedAndChangesNothing) {
  writeFlag("False");
  std::ofstream(path() / "bad.jpg") << "not a picture";
  platform_.fileAnswers = {(path() / "bad.jpg").string()};
  auto app = start();
  SceneState& scene = Application::ActiveView()->scene();
  scene.playing = false;
  scene.productKind = kProductBox;
  const uint32_t before = scene.textureSlot[kSlotBoxBack];
  const std::string name = scene.textureName[kNameBoxBack];
  scene.boxBackLoadRequest = 2;
  Application::ActiveView()->requestFrame();
  ASSERT_TRUE(QTest::qWaitFor([&] { return platform_.messages.size() >= 2; }, 5000));
  EXPECT_EQ(platform_.messages.back().icon, MessageIcon::Warning);
  EXPECT_NE(platform_.messages.back().text.find("bad.jpg"), std::string::npos);
  EXPECT_EQ(scene.textureSlot[kSlotBoxBack], before);
  EXPECT_EQ(scene.textureName[kNameBoxBack], name);
}

TEST_F(ShellTest, ACmykCoverWhoseProfileCannotBeUsedLoadsAndSaysSo) {
  KESTROVA_NEEDS_TOOLS("jpgicc");
  writeFlag("False");
  QImage rgb(16, 16, QImage::Format_RGB32);
  rgb.fill(qRgb(200, 40, 40));
  ASSERT_TRUE(rgb.save(QString::fromStdString((path() / "rgb.jpg").string()), "JPEG", 95));
  const std::string toInks = "jpgicc -e -o /usr/share/color/icc/ghostscript/default_cmyk.icc '" +
                             (path() / "rgb.jpg").string() + "' '" + (path() / "cover.jpg").string() + "' > /dev/null";
  ASSERT_EQ(std::system(toInks.c_str()), 0);
  {
    // Its embedded profile spoiled, so LittleCMS cannot open it.
    std::fstream cover(path() / "cover.jpg", std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(cover)), {});
    const size_t signature = bytes.find("acsp");
    ASSERT_NE(signature, std::string::npos);
    cover.seekp(static_cast<std::streamoff>(signature));
    cover.put('x');
  }
  platform_.fileAnswers = {(path() / "cover.jpg").string()};
  auto app = start();
  SceneState& scene = Application::ActiveView()->scene();
  scene.playing = false;
  scene.productKind = kProductBox;
  const size_t before = platform_.messages.size();
  scene.boxFrontLoadRequest = 2;
  Application::ActiveView()->requestFrame();
  ASSERT_TRUE(QTest::qWaitFor([&] { return platform_.messages.size() > before; }, 5000));
  EXPECT_EQ(platform_.messages.back().icon, MessageIcon::Information);
  EXPECT_NE(platform_.messages.back().text.find("cover.jpg"), std::string::npos) << platform_.messages.back().text;
  EXPECT_NE(platform_.messages.back().text.find("press profile"), std::string::npos);
  EXPECT_NE(scene.textureName[kNameBoxFront].find("cover.jpg"), std::string::npos) << "and the picture is used";
}

TEST_F(ShellTest, CaptureReadsTheViewsOwnFramebuffer) {
  writeFlag("False");
  auto app = start();
  ShotView* view = Application::ActiveView();
  SceneState& scene = view->scene();
  scene.playing = false;
  scene.backgroundColor = {0.0f, 0.0f, 1.0f};
  view->makeCurrent();
  ApplyClearColor(scene);
  view->doneCurrent();
  const RgbaImage image = view->captureFrame();
  EXPECT_EQ(image.width, static_cast<int>(view->width() * view->devicePixelRatioF()));
  EXPECT_EQ(image.height, static_cast<int>(view->height() * view->devicePixelRatioF()));
  const uint8_t* corner = image.at(1, 1);
  EXPECT_EQ(corner[0], 0);
  EXPECT_EQ(corner[2], 255) << "the background colour shows at the corner";
}
