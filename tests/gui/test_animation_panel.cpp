// The panel's keyframe, preset and project controls, shown by the advanced
// controls, driven by their ids; projects saved and opened through the
// (scripted) file dialogs.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <fstream>


#include "formats/project_file.h"
#include "panel/timeline_slider.h"
#include "pictures/qimage_bridge.h"
#include "scene/product_styles.h"
#include "tests/support/image_compare.h"
#include "res/resource_ids.h"
#include "tests/gui/panel_fixture.h"
#include "tests/support/file_size_limit.h"

using namespace kestrova;
namespace id = kestrova::ids;
namespace fs = std::filesystem;

namespace {

class AnimationPanel : public test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    app_->setAdvancedControls(true);
    scene().rotation = {0, 0, 0};
    openPanel();
  }

  // Moves the timeline as a drag of its handle does.
  void setTimeline(int frame) { ctl<QSlider>(id::kPanelTimeline)->setValue(frame); }

  void keyAt(int frame, float rotationX) {
    setTimeline(frame);
    type(id::kPanelEdit1, QString::number(rotationX));
    click(id::kPanelAddKey);
  }

  std::vector<int> ticks() { return ctl<TimelineSlider>(id::kPanelTimeline)->ticks(); }

  std::vector<uint8_t> fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

using AdvancedControls = test::PanelTest;

}  // namespace

TEST_F(AnimationPanel, KeysReachTheirValuesOneFrameBeforeTheirFrame) {
  click(id::kPanelAddKey);  // at frame 0: the start values
  keyAt(100, 100);
  keyAt(200, 300);
  EXPECT_EQ(scene().keyCount, 2);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelKeys)->text(), "2");
  EXPECT_EQ(ticks(), (std::vector<int>{100, 200}));
  EXPECT_FLOAT_EQ(scene().tweenRotation[0][0], 1.0f);
  EXPECT_FLOAT_EQ(scene().tweenRotation[0][99], 100.0f);
  EXPECT_FLOAT_EQ(scene().tweenRotation[0][199], 300.0f);
  EXPECT_EQ(scene().tweenRotation[0][200], 0.0f) << "nothing baked past the last segment";
  EXPECT_EQ(scene().bakedFrameCount, 200);
}

TEST_F(AnimationPanel, AKeyOnTheLastKeysFrameAddsASegmentOfLengthZero) {
  keyAt(100, 100);
  keyAt(100, 250);
  EXPECT_EQ(scene().keyCount, 2);
  EXPECT_EQ(scene().animationLength, 100);
  EXPECT_FLOAT_EQ(scene().tweenRotation[0][99], 100.0f) << "baked frames keep the old values";
  EXPECT_EQ(scene().keyRotation[0][100], 250.0f);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelKeys)->text(), "2");
}

TEST_F(AnimationPanel, AddKeyAtFrameZeroOnlyReplacesTheStartValues) {
  keyAt(100, 100);
  keyAt(0, 45);
  EXPECT_EQ(scene().keyCount, 1);
  EXPECT_EQ(scene().baseRotation[0], 45.0f);
  EXPECT_EQ(scene().tweenRotation[0][0], 45.0f);
}

TEST_F(AnimationPanel, ANewPanelHasNothingToPasteEvenAfterACopyInTheLastOne) {
  click(id::kPanelCopy);
  QTest::keyClick(ctl(id::kPanelEdit1), Qt::Key_Escape);
  ASSERT_EQ(view_->controlPanel(), nullptr);
  QTest::qWait(10);
  openPanel();
  setTimeline(50);
  click(id::kPanelPaste);
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages.back().text, "Please Copy a Keyframe. There's currently nothing to Paste.");
  EXPECT_EQ(scene().keyCount, 0);
  click(id::kPanelCopy);
  click(id::kPanelPaste);
  EXPECT_EQ(scene().keyCount, 1);
  EXPECT_EQ(scene().keyFrameNumbers[1], 50);
}

TEST_F(AnimationPanel, PlayAtTheEndHoldsTheLastFrame) {
  keyAt(20, 40);
  click(id::kPanelPlay);
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene().currentFrame == 19; }, 5000));
  QTest::qWait(100);
  EXPECT_EQ(scene().currentFrame, 19);
  EXPECT_FLOAT_EQ(scene().rotation[0], 40.0f);
  EXPECT_EQ(ctl<QSlider>(id::kPanelTimeline)->value(), 19) << "the timeline follows playback";
  click(id::kPanelPlay);
  QTest::qWait(50);
  EXPECT_EQ(scene().currentFrame, 19);
}

TEST_F(AnimationPanel, DraggingTheTimelineWhilePlayingContinuesFromThere) {
  keyAt(290, 290);
  click(id::kPanelPlay);
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene().currentFrame > 3; }, 5000));
  ASSERT_LT(scene().currentFrame, 100);
  setTimeline(200);
  EXPECT_EQ(scene().currentFrame, 200);
  const long long frames = view_->framesDrawn();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_->framesDrawn() > frames + 2; }, 5000));
  EXPECT_GT(scene().currentFrame, 200);
  EXPECT_LT(scene().currentFrame, 289);
}

TEST_F(AnimationPanel, ClearAllKeepsTheStartValuesForTheNextKey) {
  keyAt(0, 10);
  keyAt(100, 100);
  click(id::kPanelClearAll);
  EXPECT_EQ(scene().keyCount, 0);
  EXPECT_FALSE(scene().playing);
  EXPECT_TRUE(ticks().empty());
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelKeys)->text(), "0");
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelFrame)->text(), "0");
  EXPECT_EQ(ctl<QSlider>(id::kPanelTimeline)->value(), 0);
  EXPECT_EQ(scene().baseRotation[0], 10.0f);
  keyAt(10, 20);
  EXPECT_FLOAT_EQ(scene().tweenRotation[0][0], 11.0f) << "from the kept start value 10";
}

TEST_F(AnimationPanel, TheLengthChangesOnlyTheTimelinesRangeAndTicksWhenTypingIsDone) {
  keyAt(100, 100);
  const int baked = scene().bakedFrameCount;
  auto* timeline = ctl<QSlider>(id::kPanelTimeline);
  timeline->setValue(250);
  auto* spin = ctl<QSpinBox>(id::kPanelAnimationLengthSpin);
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "5");
  EXPECT_EQ(timeline->maximum(), 300) << "not per keystroke";
  EXPECT_EQ(timeline->value(), 250);
  QTest::keyClicks(spin, "00");
  QTest::keyClick(spin, Qt::Key_Return);
  ASSERT_NE(view_->controlPanel(), nullptr) << "Enter keeps the panel";
  EXPECT_EQ(timeline->maximum(), 500);
  EXPECT_EQ(timeline->value(), 250);
  EXPECT_EQ(ticks(), (std::vector<int>{100}));
  EXPECT_EQ(scene().keyCount, 1);
  EXPECT_EQ(scene().bakedFrameCount, baked);
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(timeline->maximum(), 499) << "the arrows apply at once";
  spin->selectAll();
  QTest::keyClicks(spin, "10000");
  view_->controlPanel()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view_->controlPanel()));
  QTest::keyClick(spin, Qt::Key_Tab);
  EXPECT_EQ(timeline->maximum(), 9999) << "leaving the edit applies it; the tracks end at 9999";
}

// ---- Presets ----

TEST_F(AnimationPanel, NothingSelectedChangesNothing) {
  scene().rotation = {12, 34, 56};
  auto* presets = ctl<QComboBox>(id::kPanelPresets);
  EXPECT_EQ(presets->count(), scene().sequenceCount);
  EXPECT_EQ(presets->itemText(0), "Nothing Selected");
  presets->setFocus();
  QTest::keyClick(presets, Qt::Key_Home);
  EXPECT_EQ(scene().rotation, (Vec3{12, 34, 56}));
  EXPECT_FALSE(scene().playing);
}

TEST_F(AnimationPanel, ChoosingTheSelectedPresetAgainRestartsIt) {
  auto* presets = ctl<QComboBox>(id::kPanelPresets);
  presets->setFocus();
  QTest::keyClick(presets, Qt::Key_Home);
  QTest::keyClick(presets, Qt::Key_Down);  // the first sample
  EXPECT_EQ(scene().selectedPreset, 1);
  ASSERT_TRUE(scene().playing);
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene().currentFrame > 5; }, 5000));
  // Choosing it again from the open list.
  presets->showPopup();
  QTest::keyClick(presets->view(), Qt::Key_Return);
  EXPECT_EQ(scene().currentFrame, 0);
  EXPECT_TRUE(scene().playing);
}

TEST_F(AnimationPanel, AnAddedPresetIsListedInTheNextPanel) {
  const fs::path file = path() / "Sequences" / "My Shot.TSMR";
  platform_.fileAnswers = {file.string()};
  const int listed = ctl<QComboBox>(id::kPanelPresets)->count();
  click(id::kPanelAddToPresets);
  ASSERT_EQ(platform_.fileRequests.size(), 1u);
  EXPECT_EQ(platform_.fileRequests[0].title, "Save a Dolvane Keyframe File");
  EXPECT_EQ(platform_.fileRequests[0].defaultExtension, "TSMR");
  EXPECT_TRUE(platform_.fileRequests[0].confirmOverwrite);
  EXPECT_TRUE(fs::exists(file));
  // The open list follows the listing's new order, so a row loads the file
  // it names; the next panel lists it too.
  for (int pass = 0; pass < 2; ++pass) {
    auto* presets = ctl<QComboBox>(id::kPanelPresets);
    ASSERT_EQ(presets->count(), listed + 1);
    EXPECT_NE(presets->findText("My Shot.TSMR"), -1);
    for (int row = 0; row < presets->count(); ++row) {
      EXPECT_EQ(presets->itemText(row).toStdString(), scene().sequenceNames[static_cast<size_t>(row)]) << row;
    }
    view_->controlPanel()->close();
    openPanel();
  }
}

TEST_F(AnimationPanel, TheWebLinkOpensOnlyWebAddresses) {
  type(id::kPanelWebsiteLink, "file:///etc/passwd");
  EXPECT_EQ(scene().websiteLink(), "file:///etc/passwd");
  click(id::kPanelTestWebsiteLink);
  EXPECT_TRUE(platform_.openedUrls.empty());
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_NE(platform_.messages.back().text.find("was not opened"), std::string::npos);
  type(id::kPanelWebsiteLink, "https://shop.example/box");
  click(id::kPanelTestWebsiteLink);
  EXPECT_EQ(platform_.openedUrls, (std::vector<std::string>{"https://shop.example/box"}));
}

// ---- Projects ----

TEST_F(AnimationPanel, AProjectBuiltInThePanelSurvivesSaveAndOpen) {
  keyAt(0, 5);
  keyAt(60, 90);
  keyAt(120, -30);
  keyAt(240, 180);
  const fs::path file = path() / "three keys.TSMR";
  platform_.fileAnswers = {file.string()};
  commands()->OnSaveProject();
  ASSERT_EQ(platform_.fileRequests.size(), 1u);
  EXPECT_EQ(platform_.fileRequests[0].title, "Save a Tessmere File");
  EXPECT_EQ(fileBytes(file), SerialiseProject(scene()));
  const auto baked = scene().tweenRotation;
  const int bakedFrames = scene().bakedFrameCount;

  // Anything else, then the file again.
  click(id::kPanelClearAll);
  scene().rotation = {1, 2, 3};
  platform_.fileAnswers = {file.string()};
  commands()->OnOpenProject();
  EXPECT_EQ(platform_.fileRequests.back().title, "Open a Kestrova File");
  EXPECT_TRUE(platform_.fileRequests.back().fileMustExist);
  EXPECT_EQ(scene().keyCount, 3);
  EXPECT_EQ(scene().bakedFrameCount, bakedFrames);
  for (int frame = 0; frame < bakedFrames; ++frame) {
    ASSERT_EQ(scene().tweenRotation[0][static_cast<size_t>(frame)], baked[0][static_cast<size_t>(frame)])
        << "frame " << frame;
  }
  EXPECT_TRUE(scene().playing);
  EXPECT_EQ(ticks(), (std::vector<int>{60, 120, 240}));
  EXPECT_EQ(ctl<QSpinBox>(id::kPanelAnimationLengthSpin)->value(), 240);
}

TEST_F(AnimationPanel, ASaveThatCannotBeWrittenSaysSoAndKeepsTheOldFile) {
  const fs::path file = path() / "old.TSMR";
  std::ofstream(file) << "old";
  platform_.fileAnswers = {file.string()};
  {
    const test::FileSizeLimit fullDisk(100);
    commands()->OnSaveProject();
  }
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages.back().caption, "Error");
  EXPECT_NE(platform_.messages.back().text.find("old.TSMR"), std::string::npos);
  EXPECT_EQ(fileBytes(file), (std::vector<uint8_t>{'o', 'l', 'd'}));
  for (const auto& entry : fs::directory_iterator(path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("old.TSMR.", 0), std::string::npos) << "a temporary left behind";
  }
}

TEST_F(AnimationPanel, OpeningABrokenProjectSaysSoAndChangesNothing) {
  const fs::path file = path() / "broken.TSMR";
  std::ofstream(file) << "not a project";
  scene().rotation = {7, 8, 9};
  platform_.fileAnswers = {file.string()};
  commands()->OnOpenProject();
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages.back().caption, "Error");
  EXPECT_EQ(scene().rotation, (Vec3{7, 8, 9}));
}

// ---- The advanced controls ----

TEST_F(AdvancedControls, AreOffByDefaultAndTheFlagTurnsThemOnForGood) {
  app_->setAdvancedControls(false);
  openPanel();
  for (int hidden : {id::kPanelTimeline, id::kPanelAddKey, id::kPanelPresets, id::kPanelWebsiteLink, id::kPanelBook}) {
    EXPECT_FALSE(ctl(hidden)->isVisible()) << hidden;
    EXPECT_FALSE(ctl(hidden)->isEnabled()) << hidden;
  }
  const int plainHeight = view_->controlPanel()->height();
  view_->controlPanel()->close();
  app_.reset();

  app_ = start({"--advanced"});
  view_ = Application::ActiveView();
  app_.reset();
  app_ = start();  // a restart without the flag remembers it
  view_ = Application::ActiveView();
  openPanel();
  for (int shown : {id::kPanelTimeline, id::kPanelAddKey, id::kPanelPresets, id::kPanelWebsiteLink, id::kPanelBook}) {
    EXPECT_TRUE(ctl(shown)->isVisible()) << shown;
    EXPECT_TRUE(ctl(shown)->isEnabled()) << shown;
  }
  EXPECT_FALSE(ctl(id::kPanelOk)->isVisible());
  EXPECT_GT(view_->controlPanel()->height(), plainHeight);
}

TEST_F(AnimationPanel, LooksLikeACompactToolPanelWithItsSecondRow) {
  ApplyBoxStyle(scene(), 0);
  scene().productKind = kProductBox;
  view_->controlPanel()->close();
  scene().lightingMode = 0;
  scene().rotation = {30, 30, 0};
  scene().selectedPreset = 0;  // start-up picks one at random
  ControlPanel* panel = openPanel();
  keyAt(0, 30);
  keyAt(100, 30);
  keyAt(250, 60);
  setTimeline(0);
  EXPECT_MATCHES_BASELINE(FromQImage(panel->grab().toImage()), "control_panel_advanced");
}
