// The introduction: which sample plays, Next Sequence, Start, and the
// first minute of a new user, with a Sequences folder of the test's own.
#include <gtest/gtest.h>

#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <functional>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "animation/keyframes.h"
#include "app/intro_dialog.h"
#include "panel/control_panel.h"
#include "pictures/qimage_bridge.h"
#include "res/resource_ids.h"
#include "shot/project_io.h"
#include "tests/gui/shell_fixture.h"
#include "tests/support/image_compare.h"

using namespace kestrova;
namespace id = kestrova::ids;
namespace fs = std::filesystem;

namespace {

class IntroTest : public test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    writeFlag("False");
    fs::remove_all(path() / "Sequences");
    fs::create_directory(path() / "Sequences");
  }

  // A sample of `frames` frames whose web link names it.
  void sample(const std::string& name, int frames) {
    auto scene = std::make_unique<SceneState>();
    scene->websiteLink() = "http://" + name + ".example/";
    scene->rotation = {0, 0, 0};
    AddKey(*scene, 0);
    scene->rotation = {0, 90, 0};
    AddKey(*scene, frames);
    ASSERT_TRUE(WriteProject(*scene, (path() / "Sequences" / name).string()).ok);
  }
  void abMarker() {
    sample("a.TSMR", 30);
    sample("b.TSMR", 30);
    sample("zzzzzzzzz.TSMR", 30);
  }

  std::unique_ptr<Application> begin(const QStringList& arguments = {}) {
    auto app = start(arguments);
    view_ = Application::ActiveView();
    EXPECT_TRUE(QTest::qWaitFor([&] { return intro() && intro()->isVisible(); }, 5000));
    return app;
  }

  IntroDialog* intro() { return commands()->introDialog(); }
  QPushButton* introButton(int buttonId) {
    return intro()->findChild<QPushButton*>(QString::number(buttonId));
  }
  std::string playing() { return view_->scene().websiteLink(); }

  ShotView* view_ = nullptr;
};

}  // namespace

TEST_F(IntroTest, NextSequenceWalksThroughTheSamplesAndWrapsAtTheMarker) {
  abMarker();
  QSettings().setValue("Number of Particles/Value", 1);
  auto app = begin();
  EXPECT_EQ(playing(), "http://b.TSMR.example/");
  EXPECT_EQ(intro()->windowTitle(), "Go to Product Website for this Animation!");
  QTest::mouseClick(introButton(id::kIntroNextSequence), Qt::LeftButton);
  EXPECT_EQ(playing(), "http://zzzzzzzzz.TSMR.example/");
  EXPECT_EQ(view_->scene().sequenceIndex, 0);
  EXPECT_TRUE(view_->scene().playing);
  QTest::mouseClick(introButton(id::kIntroNextSequence), Qt::LeftButton);
  EXPECT_EQ(playing(), "http://a.TSMR.example/");
  EXPECT_EQ(view_->scene().sequenceIndex, 1);
}

TEST_F(IntroTest, QuittingOnTheMarkerStoresZeroSoTheNextStartPlaysTheFirst) {
  abMarker();
  QSettings().setValue("Number of Particles/Value", 1);
  {
    auto app = begin();
    QTest::mouseClick(introButton(id::kIntroNextSequence), Qt::LeftButton);
    ASSERT_EQ(playing(), "http://zzzzzzzzz.TSMR.example/");
  }
  EXPECT_EQ(QSettings().value("Number of Particles/Value").toInt(), 0);
  auto app = begin();
  EXPECT_EQ(playing(), "http://a.TSMR.example/");
}

TEST_F(IntroTest, AStoredIndexThatLandsOnTheMarkerPlaysTheFirstSample) {
  abMarker();
  QSettings().setValue("Number of Particles/Value", 2);
  auto app = begin();
  EXPECT_EQ(playing(), "http://a.TSMR.example/");
  EXPECT_EQ(view_->scene().sequenceIndex, 1);
}

TEST_F(IntroTest, StartWaitsForTheLastFrameAndThenStaysEnabled) {
  sample("a.TSMR", 40);
  sample("zzzzzzzzz.TSMR", 40);
  QSettings().setValue("Number of Particles/Value", 0);
  auto app = begin();
  QPushButton* start = introButton(id::kIntroStartButton);
  const SceneState& scene = view_->scene();
  bool sawDisabledWhilePlaying = false;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        if (!start->isEnabled() && scene.currentFrame < scene.bakedFrameCount - 1) sawDisabledWhilePlaying = true;
        return start->isEnabled();
      },
      10000));
  EXPECT_TRUE(sawDisabledWhilePlaying);
  EXPECT_EQ(scene.currentFrame, scene.bakedFrameCount - 1) << "enabled in the frame reaching the end";
  EXPECT_EQ(intro()->focusWidget(), start) << "Enter now starts, and never opens the product's web page";
  QTest::mouseClick(introButton(id::kIntroNextSequence), Qt::LeftButton);
  EXPECT_TRUE(start->isEnabled()) << "once enabled it stays enabled";
}

TEST_F(IntroTest, AOneFrameSampleEnablesStartWithTheFirstFrame) {
  sample("a.TSMR", 1);
  sample("zzzzzzzzz.TSMR", 1);
  QSettings().setValue("Number of Particles/Value", 0);
  auto app = begin();
  EXPECT_EQ(view_->scene().bakedFrameCount, 1);
  EXPECT_TRUE(introButton(id::kIntroStartButton)->isEnabled());
}

TEST_F(IntroTest, StartShowsMenuAndToolbarAndTheIntroNeverReturns) {
  sample("a.TSMR", 1);
  sample("zzzzzzzzz.TSMR", 1);
  auto app = begin();
  EXPECT_EQ(app->mainWindow()->statusBar()->currentMessage(),
            "Please wait for the Animation to finish, then Click the Start Kestrova button");
  ASSERT_TRUE(QTest::qWaitFor([&] { return introButton(id::kIntroStartButton)->isEnabled(); }, 5000));
  QTest::mouseClick(introButton(id::kIntroStartButton), Qt::LeftButton);
  EXPECT_FALSE(intro()->isVisible());
  EXPECT_NE(app->mainWindow()->menuWidget(), nullptr);
  EXPECT_TRUE(app->mainWindow()->toolBar()->isVisible());
  EXPECT_EQ(app->mainWindow()->statusBar()->currentMessage(),
            "Left Click on the box shot to move it around. Click the Book Icon to open the control dialog.");
  EXPECT_FALSE(view_->scene().playing) << "New stopped the sample";
  EXPECT_EQ(view_->scene().productKind, kProductBook);
  QTest::qWait(100);
  EXPECT_FALSE(intro()->isVisible());
}

TEST_F(IntroTest, EscapeEnterOrClosingBeforeTheEndStartsAsStartDoes) {
  abMarker();
  const std::pair<const char*, std::function<void(IntroDialog*)>> ways[] = {
      {"Escape", [](IntroDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }},
      {"Enter", [](IntroDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Return); }},
      {"close", [](IntroDialog* dialog) { dialog->close(); }},
  };
  for (const auto& [name, dismiss] : ways) {
    auto app = begin();
    ASSERT_FALSE(introButton(id::kIntroStartButton)->isEnabled()) << name << ": the sample is still playing";
    dismiss(intro());
    EXPECT_FALSE(intro()->isVisible()) << name;
    EXPECT_TRUE(intro()->started()) << name;
    EXPECT_NE(app->mainWindow()->menuWidget(), nullptr) << name;
    EXPECT_TRUE(app->mainWindow()->toolBar()->isVisible()) << name;
    EXPECT_EQ(app->mainWindow()->statusBar()->currentMessage(),
              "Left Click on the box shot to move it around. Click the Book Icon to open the control dialog.")
        << name;
    EXPECT_FALSE(view_->scene().playing) << name << ": New stopped the sample";
    EXPECT_EQ(view_->scene().productKind, kProductBook) << name;
  }
}

TEST_F(IntroTest, EnterOnAFocusedButtonPressesIt) {
  abMarker();
  auto app = begin();
  const std::string first = playing();
  introButton(id::kIntroNextSequence)->setFocus();
  QTest::keyClick(introButton(id::kIntroNextSequence), Qt::Key_Return);
  EXPECT_NE(playing(), first) << "Next Sequence played the next sample";
  EXPECT_TRUE(intro()->isVisible());
  EXPECT_FALSE(intro()->started());
}

TEST_F(IntroTest, TheProductLinkOpensOnlyWebAddresses) {
  abMarker();
  auto app = begin();
  QTest::mouseClick(introButton(id::kIntroProductLink), Qt::LeftButton);
  EXPECT_EQ(platform_.openedUrls, (std::vector<std::string>{playing()}));
  view_->scene().websiteLink() = "/usr/bin/xterm";
  QTest::mouseClick(introButton(id::kIntroProductLink), Qt::LeftButton);
  EXPECT_EQ(platform_.openedUrls.size(), 1u);
}

TEST_F(IntroTest, SkippingTheIntroOpensOnTheDefaultShotWithMenuAndToolbar) {
  abMarker();
  {
    auto app = start({"--skip-intro"});
    ShotView* view = Application::ActiveView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->mainWindow()->menuWidget() != nullptr; }, 5000));
    EXPECT_TRUE(app->mainWindow()->toolBar()->isVisible());
    ASSERT_NE(commands()->introDialog(), nullptr);
    EXPECT_FALSE(commands()->introDialog()->isVisible());
    EXPECT_FALSE(view->scene().playing);
  }
  {
    auto app = start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return commands()->introDialog() &&
                                             commands()->introDialog()->isVisible(); },
                                5000))
        << "the flag holds for its own run only";
    app->setPlayIntro(false);
  }
  auto app = start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return app->mainWindow()->menuWidget() != nullptr; }, 5000))
      << "the setting holds until changed";
}

TEST_F(IntroTest, LooksInvitingBesideTheView) {
  abMarker();
  auto app = begin();
  EXPECT_MATCHES_BASELINE(FromQImage(intro()->grab().toImage()), "intro_dialog");
}

// The first minute with the shipped samples: the update question, the
// intro, Start, the default shot, the control panel from the toolbar.
using FirstMinute = test::ShellTest;

TEST_F(FirstMinute, OfANewUser) {
  writeFlag("True");
  auto app = start();
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages[0].text, "Would you like to check for Updates?");
  app->mainWindow()->resize(480, 360);  // the software rasteriser plays a small window faster
  ShotView* view = Application::ActiveView();
  ASSERT_TRUE(QTest::qWaitFor([&] { return commands()->introDialog() && commands()->introDialog()->isVisible(); }, 5000));
  EXPECT_EQ(view->scene().sequenceIndex, 1);
  auto* start = commands()->introDialog()->findChild<QPushButton*>(QString::number(id::kIntroStartButton));
  EXPECT_FALSE(start->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return start->isEnabled(); }, 40000)) << "the sample reached its end";
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_NE(app->mainWindow()->menuWidget(), nullptr);
  QAction* panelAction = app->mainWindow()->action(id::kCommandControlPanel);
  auto* button = qobject_cast<QToolButton*>(app->mainWindow()->toolBar()->widgetForAction(panelAction));
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  ASSERT_NE(view->controlPanel(), nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowExposed(view->controlPanel()));
}

// ---- Idle: no drawing while nothing changes ----

namespace {

class IdleTest : public IntroTest {
 protected:
  // The intro's sample played to its end and held.
  void playToTheEnd() {
    sample("a.TSMR", 20);
    sample("zzzzzzzzz.TSMR", 20);
    app_ = begin();
    ASSERT_TRUE(QTest::qWaitFor([&] { return introButton(id::kIntroStartButton)->isEnabled(); }, 5000));
    QTest::qWait(100);
  }
  long long framesOver(int ms) {
    const long long before = view_->framesDrawn();
    QTest::qWait(ms);
    return view_->framesDrawn() - before;
  }
  bool drawsAgain(const std::function<void()>& change) {
    const long long before = view_->framesDrawn();
    change();
    return QTest::qWaitFor([&] { return view_->framesDrawn() > before; }, 2000);
  }
  std::unique_ptr<Application> app_;
};

}  // namespace

TEST_F(IdleTest, AHeldLastFrameIsDrawnOnceAndThenNothing) {
  playToTheEnd();
  EXPECT_LE(framesOver(2000), 2);
  EXPECT_EQ(view_->scene().currentFrame, view_->scene().bakedFrameCount - 1);
}

TEST_F(IdleTest, InputPanelFacesAndProjectsDrawAgain) {
  playToTheEnd();
  EXPECT_TRUE(drawsAgain([&] {
    QMouseEvent press(QEvent::MouseButtonPress, {50, 50}, view_->mapToGlobal(QPoint(50, 50)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view_, &press);
    QMouseEvent move(QEvent::MouseMove, {60, 50}, view_->mapToGlobal(QPoint(60, 50)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view_, &move);
  })) << "a drag";
  EXPECT_LE(framesOver(500), 2);
  commands()->OnControlPanel();
  ASSERT_NE(view_->controlPanel(), nullptr);
  QTest::qWait(100);
  EXPECT_TRUE(drawsAgain([&] {
    QTest::mouseClick(view_->controlPanel()->control(id::kPanelPanAndZoom), Qt::LeftButton);
  })) << "a panel change";
  const fs::path picture = path() / "Boxes" / "face.png";
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::blue);
  ASSERT_TRUE(image.save(QString::fromStdString(picture.string())));
  // Face requests wait while an animation plays, held or not.
  ClearAll(view_->scene());
  view_->scene().productKind = kProductBox;
  view_->requestFrame();
  QTest::qWait(100);
  EXPECT_TRUE(drawsAgain([&] {
    platform_.fileAnswers = {picture.string()};
    QTest::mouseClick(view_->controlPanel()->control(id::kPanelFront), Qt::LeftButton);
  })) << "a face button";
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_->scene().textureName[kNameBoxFront] == "Boxes/face.png"; }, 2000));
  QTest::qWait(100);
  EXPECT_TRUE(drawsAgain([&] {
    platform_.fileAnswers = {(path() / "Sequences" / "a.TSMR").string()};
    commands()->OnOpenProject();
  })) << "a project";
}

TEST_F(IdleTest, AHiddenWindowDrawsNothing) {
  sample("a.TSMR", 2000);
  sample("zzzzzzzzz.TSMR", 20);
  app_ = begin();
  ASSERT_TRUE(view_->scene().playing);
  app_->mainWindow()->hide();
  QTest::qWait(50);
  EXPECT_LE(framesOver(500), 1);
  const long long hidden = view_->framesDrawn();
  app_->mainWindow()->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return view_->framesDrawn() > hidden + 3; }, 5000)) << "and plays on when shown";
}

TEST_F(IntroTest, OpenNamesAProjectToStartOn) {
  abMarker();
  auto still = std::make_unique<SceneState>();
  still->rotation = {12, 24, 36};
  const fs::path file = path() / "mine.TSMR";
  ASSERT_TRUE(WriteProject(*still, file.string()).ok);
  auto app = start({"--open", QString::fromStdString(file.string())});
  view_ = Application::ActiveView();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_->scene().rotation == Vec3{12, 24, 36}; }, 5000));
  EXPECT_NE(app->mainWindow()->menuWidget(), nullptr) << "straight to work, no intro";
  EXPECT_FALSE(commands()->introDialog()->isVisible());
}

TEST_F(IntroTest, EnterOnTheProductLinkStartsAndNeverOpensTheWebPage) {
  abMarker();
  auto app = begin();
  auto* link = introButton(id::kIntroProductLink);
  link->setFocus();
  QTest::keyClick(link, Qt::Key_Return);
  EXPECT_TRUE(platform_.openedUrls.empty());
  EXPECT_TRUE(intro()->started());
}
