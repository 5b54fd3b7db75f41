// The view's mouse handling and the "Dynamic Controls" panel, driven as a
// user drives them: synthetic mouse events on the real view, clicks and keys
// on the panel's real controls found by their ids.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "animation/keyframes.h"
#include "panel/control_panel.h"
#include "res/resource_ids.h"
#include "scene/product_styles.h"
#include "scene/scene_edits.h"
#include "tests/gui/panel_fixture.h"
#include "tests/support/image_compare.h"
#include "pictures/qimage_bridge.h"

using namespace kestrova;
namespace id = kestrova::ids;
namespace fs = std::filesystem;

namespace {

using test::PanelTest;

const QPoint kCentre(200, 200);

}  // namespace

// ---- Dragging without the panel ----

TEST_F(PanelTest, DraggingNormalisesAnglesInStepsOf720) {
  scene().rotation = {725, 360, -361};
  drag(kCentre, kCentre);
  EXPECT_EQ(scene().rotation[0], 5.0f);
  EXPECT_EQ(scene().rotation[1], 360.0f);
  EXPECT_EQ(scene().rotation[2], 359.0f);
}

TEST_F(PanelTest, LeftDragTurnsHalfADegreePerPixelAndRightDragTurnsAboutZ) {
  scene().rotation = {0, 0, 0};
  scene().movementMode = 2;  // panel modes do not count while it is closed
  drag(kCentre, kCentre + QPoint(20, -10));
  EXPECT_EQ(scene().rotation[0], -5.0f);
  EXPECT_EQ(scene().rotation[1], 10.0f);
  EXPECT_EQ(scene().pan[0], 0.0f);
  drag(kCentre, kCentre + QPoint(20, 8), Qt::RightButton);
  EXPECT_EQ(scene().rotation[2], 7.0f);
  EXPECT_EQ(scene().spinVelocity[0], 10.0f);
  EXPECT_EQ(scene().spinVelocity[1], 4.0f);
}

TEST_F(PanelTest, AMoveWithoutAPressChangesNothing) {
  scene().rotation = {10, 20, 30};
  moveTo(kCentre + QPoint(50, 50));
  EXPECT_EQ(scene().rotation[0], 10.0f);
  EXPECT_EQ(scene().rotation[1], 20.0f);
  EXPECT_FALSE(scene().dragging);
}

TEST_F(PanelTest, ControlFreezesTheShotAndReleasingItDoesNotJump) {
  scene().rotation = {0, 0, 0};
  press(kCentre);
  moveTo(kCentre + QPoint(40, 0), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(scene().rotation[1], 0.0f);
  moveTo(kCentre + QPoint(50, 0));
  release(kCentre + QPoint(50, 0));
  EXPECT_EQ(scene().rotation[1], 5.0f) << "only the 10 pixels after Control count";
}

TEST_F(PanelTest, UpsideDownReversesTheTurnBetween90And270Only) {
  const struct {
    float tilt;
    float turn;
  } cases[] = {{0, 10}, {90, 10}, {91, -10}, {180, -10}, {-180, -10}, {269, -10}, {270, 10}};
  for (const auto& c : cases) {
    scene().rotation = {c.tilt, 0, 0};
    drag(kCentre, kCentre + QPoint(20, 0));
    EXPECT_EQ(scene().rotation[1], c.turn) << "tilt " << c.tilt;
  }
}

// ---- Dragging with the panel open ----

TEST_F(PanelTest, RightDragZoomsTwiceAsFastAsItTurns) {
  scene().rotation = {0, 0, 0};
  scene().pan = {0, 0, 0};
  openPanel();
  drag(kCentre, kCentre + QPoint(10, 10), Qt::RightButton);
  EXPECT_EQ(scene().rotation[2], 5.0f);
  click(id::kPanelPanAndZoom);
  drag(kCentre, kCentre + QPoint(10, 10), Qt::RightButton);
  EXPECT_EQ(scene().pan[2], 10.0f);
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider3)->value(), 10);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit3)->text(), "10");
}

TEST_F(PanelTest, PanMovesFourTimesAsFarOnTheModelledBook) {
  openPanel();
  click(id::kPanelPanAndZoom);
  const struct {
    float kind;
    float binding;
    float expected;
  } cases[] = {{kProductBox, 2, 5}, {kProductBook, 2, 20}, {kProductMug, 2, 20}, {kProductBook, 1, 5}};
  for (const auto& c : cases) {
    scene().productKind = c.kind;
    scene().bookBinding = c.binding;
    scene().pan = {0, 0, 0};
    drag(kCentre, kCentre + QPoint(10, -10));
    EXPECT_EQ(scene().pan[0], c.expected) << "kind " << c.kind << " binding " << c.binding;
    EXPECT_EQ(scene().pan[1], c.expected) << "dragging up moves the shot up";
  }
}

TEST_F(PanelTest, SlidersAndEditsShowDraggedValuesTruncatedTowardZero) {
  openPanel();
  scene().rotation = {-2.2f, 0, 0};
  drag(kCentre, kCentre + QPoint(0, -1));
  EXPECT_FLOAT_EQ(scene().rotation[0], -2.7f) << "showing a value does not round the shot";
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider1)->value(), -2);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit1)->text(), "-2");

  click(id::kPanelScale);
  scene().scale = {0, 0, -45.2f};
  drag(kCentre, kCentre + QPoint(0, -1), Qt::RightButton);
  EXPECT_FLOAT_EQ(scene().scale[2], -45.7f);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit3)->text(), "-45");
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider3)->value(), -45);
}

TEST_F(PanelTest, TextureScrollAndSpotLightTakeTheDrag) {
  scene().productKind = kProductMug;
  openPanel();
  click(id::kPanelTextureScroll);
  scene().textureScroll = {0, 0};
  drag(kCentre, kCentre + QPoint(20, 40));
  EXPECT_EQ(scene().textureScroll[0], 20.0f);
  EXPECT_EQ(scene().textureScroll[1], 10.0f);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit2)->text(), "10");

  click(id::kPanelSpotLight);
  scene().spotLight = {0, 0, 0};
  drag(kCentre, kCentre + QPoint(20, 40));
  EXPECT_EQ(scene().spotLight[0], 10.0f);
  EXPECT_EQ(scene().spotLight[1], -20.0f);
}

// ---- Opening and closing ----

TEST_F(PanelTest, OpeningShowsTheShotAsItIsAndChangesNothing) {
  ApplyBoxStyle(scene(), 2);  // a DVD case
  scene().productKind = kProductBox;
  scene().movementMode = 2;
  scene().pan = {12.5f, -3, -700};
  const Vec3 size = scene().boxSize;
  const Vec3 scale = scene().scale;
  ControlPanel* panel = openPanel();
  EXPECT_EQ(panel->windowTitle(), "Dynamic Controls");
  EXPECT_EQ(scene().boxSize, size);
  EXPECT_EQ(scene().scale, scale);
  EXPECT_FLOAT_EQ(scene().pan[0], 12.5f);
  EXPECT_EQ(ctl<QComboBox>(id::kPanelBoxStyle)->currentText(), "Standard DVD");
  EXPECT_TRUE(ctl<QRadioButton>(id::kPanelPanAndZoom)->isChecked());
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider3)->minimum(), -2000);
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider3)->value(), -700);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit1)->text(), "12");
}

TEST_F(PanelTest, ASecondOpenCommandWhileAPanelIsOpenDoesNothing) {
  ControlPanel* first = openPanel();
  commands()->OnControlPanel();
  EXPECT_EQ(view_->controlPanel(), first);
  EXPECT_EQ(app_->mainWindow()->findChildren<ControlPanel*>().size(), 1);
}

TEST_F(PanelTest, EnterKeepsThePanelAndEscapeClosesItToOpenWhereItWasLeft) {
  ControlPanel* panel = openPanel();
  panel->move(panel->pos() + QPoint(30, 20));
  QTest::qWait(20);
  const QPoint where = panel->pos();
  type(id::kPanelEdit1, "45");
  QTest::keyClick(ctl(id::kPanelEdit1), Qt::Key_Return);
  ASSERT_EQ(view_->controlPanel(), panel) << "Enter in an edit keeps the panel";
  EXPECT_EQ(scene().rotation[0], 45.0f);
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider1)->value(), 45);
  // Enter on a focused button presses it: the face's image dialog follows.
  const size_t asked = platform_.fileRequests.size();
  ctl(id::kPanelFront)->setFocus();
  QTest::keyClick(ctl(id::kPanelFront), Qt::Key_Return);
  ASSERT_EQ(view_->controlPanel(), panel);
  EXPECT_TRUE(QTest::qWaitFor([&] { return platform_.fileRequests.size() > asked; }, 2000));
  QTest::keyClick(ctl(id::kPanelEdit2), Qt::Key_Escape);
  EXPECT_EQ(view_->controlPanel(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return app_->mainWindow()->findChildren<ControlPanel*>().isEmpty(); }, 2000));
  ControlPanel* next = openPanel();
  EXPECT_EQ(next->pos(), where);
  EXPECT_FALSE(next->keyCopied());
}

TEST_F(PanelTest, ClosingTheMainWindowClosesThePanel) {
  openPanel();
  app_->mainWindow()->close();
  EXPECT_EQ(view_->controlPanel(), nullptr);
}

TEST_F(PanelTest, EveryControlHasAnIdAndAnAccessibleName) {
  ControlPanel* panel = openPanel();
  int named = 0;
  for (QWidget* widget : panel->findChildren<QWidget*>()) {
    bool isId = false;
    widget->objectName().toInt(&isId);
    if (!isId) continue;
    ++named;
    EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
  }
  EXPECT_GE(named, 40);
  // Screen readers reach the visible controls by their names.
  QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(ctl(id::kPanelSlider1));
  ASSERT_NE(slider, nullptr);
  EXPECT_EQ(slider->text(QAccessible::Name), "Slider 1");
}

// ---- Movement radios and edits ----

TEST_F(PanelTest, ATypedValueIsStoredUnclampedWhileTheSliderStopsAtItsEnd) {
  openPanel();
  type(id::kPanelEdit1, "500");
  EXPECT_EQ(scene().rotation[0], 500.0f);
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider1)->value(), 360);
}

TEST_F(PanelTest, ANonNumberIsRefusedAtOnceAndKeepsTheValue) {
  openPanel();
  scene().rotation[1] = 45;
  type(id::kPanelEdit2, "-");
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages.back().text, "Please enter an integer.");
  const size_t shown = platform_.messages.size();
  EXPECT_EQ(scene().rotation[1], 45.0f);
  QTest::keyClick(ctl(id::kPanelEdit2), Qt::Key_Backspace);
  EXPECT_EQ(platform_.messages.size(), shown + 1) << "an empty edit is refused too";
  EXPECT_EQ(scene().rotation[1], 45.0f);
  QTest::qWait(50);
  EXPECT_EQ(platform_.messages.size(), shown + 1) << "frames do not repeat the message";
}

TEST_F(PanelTest, PanAndZoomReRangesTheSlidersAndShowsPan) {
  scene().pan = {150, -1200, -40};
  openPanel();
  click(id::kPanelPanAndZoom);
  EXPECT_EQ(scene().movementMode, 2.0f);
  EXPECT_EQ(view_->controlPanel()->sliderTarget(), 1);
  for (int slider : {id::kPanelSlider1, id::kPanelSlider2, id::kPanelSlider3}) {
    EXPECT_EQ(ctl<QSlider>(slider)->minimum(), -2000);
    EXPECT_EQ(ctl<QSlider>(slider)->maximum(), 2000);
  }
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider2)->value(), -1200);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit3)->text(), "-40");
  click(id::kPanelRotate);
  EXPECT_EQ(ctl<QSlider>(id::kPanelSlider1)->maximum(), 360);
  EXPECT_FALSE(ctl<QRadioButton>(id::kPanelPanAndZoom)->isChecked());
}

TEST_F(PanelTest, TextureScrollDisablesTheThirdSliderUntilAnotherRadio) {
  scene().productKind = kProductMug;
  openPanel();
  click(id::kPanelTextureScroll);
  EXPECT_FALSE(ctl(id::kPanelSlider3)->isEnabled());
  EXPECT_FALSE(ctl(id::kPanelEdit3)->isEnabled());
  click(id::kPanelSpotLight);
  EXPECT_TRUE(ctl(id::kPanelSlider3)->isEnabled());
  EXPECT_TRUE(ctl(id::kPanelEdit3)->isEnabled());
}

TEST_F(PanelTest, LightingOffDuringSpotLightGoesBackToRotatingWithTheSliders) {
  scene().lightingMode = 0;
  openPanel();
  click(id::kPanelSpotLight);
  EXPECT_EQ(scene().lightingMode, 2.0f);
  EXPECT_TRUE(ctl<QCheckBox>(id::kPanelLighting)->isChecked());
  click(id::kPanelLighting);
  EXPECT_EQ(scene().lightingMode, 0.0f);
  EXPECT_FALSE(ctl<QRadioButton>(id::kPanelSpotLight)->isChecked());
  EXPECT_TRUE(ctl<QRadioButton>(id::kPanelRotate)->isChecked());
  // The sliders show the rotation now, and drive it, not the spot.
  for (int slot = 0; slot < 3; ++slot) {
    const int editId = std::array{id::kPanelEdit1, id::kPanelEdit2, id::kPanelEdit3}[slot];
    EXPECT_EQ(ctl<QLineEdit>(editId)->text(), QString::number(ShownValue(scene().rotation[slot]))) << slot;
  }
  const Vec3 spot = scene().spotLight;
  auto* slider = ctl<QSlider>(id::kPanelSlider1);
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Home);
  EXPECT_EQ(scene().rotation[0], -360.0f);
  EXPECT_EQ(scene().spotLight, spot);
}

TEST_F(PanelTest, ScreenShotOnAndOffGivesBackTheProductItsShapeAndItsRadio) {
  scene().productKind = kProductBox;
  scene().scale = {0, 14, -45};  // the retail box's
  openPanel();
  click(id::kPanelScreenShot);
  EXPECT_EQ(scene().productKind, kProductScreenShot);
  EXPECT_EQ(scene().scale, (Vec3{-179, 0, 0}));
  EXPECT_FALSE(ctl(id::kPanelBack)->isVisible());
  EXPECT_FALSE(ctl<QAbstractButton>(id::kPanelBox)->isChecked());
  click(id::kPanelScreenShot);
  EXPECT_EQ(scene().productKind, kProductBox);
  EXPECT_EQ(scene().scale, (Vec3{0, 14, -45})) << "the box's own shape";
  EXPECT_TRUE(ctl<QAbstractButton>(id::kPanelBox)->isChecked()) << "and its radio";
  EXPECT_TRUE(ctl(id::kPanelBack)->isVisible()) << "and its face buttons";
}

TEST_F(PanelTest, BookStylesSetBindingSizeAndScaleAndOnlyTheHardBackSetsTheStyle) {
  scene().productKind = kProductBook;
  scene().bookStyle = 1;
  openPanel();
  auto* books = ctl<QComboBox>(id::kPanelBookStyle);
  ASSERT_TRUE(books->isVisible());
  EXPECT_EQ(books->currentIndex(), 1);
  books->setFocus();
  QTest::keyClick(books, Qt::Key_Down);  // "Slim Paperback"
  EXPECT_EQ(scene().bookStyle, 1) << "a paperback keeps the style number";
  EXPECT_EQ(scene().bookBinding, 1.0f);
  EXPECT_EQ(scene().scale, (Vec3{-10, 14, -49}));
  QTest::keyClick(books, Qt::Key_Home);  // "Standard Hard Back"
  EXPECT_EQ(scene().bookStyle, 0);
  EXPECT_EQ(scene().bookBinding, 2.0f);
  EXPECT_EQ(scene().boxSize, (Vec3{0.225f, 0.14f, 0.028f}));
}

TEST_F(PanelTest, BoxStylesSetSizeStyleAndScale) {
  scene().productKind = kProductBox;
  openPanel();
  auto* boxes = ctl<QComboBox>(id::kPanelBoxStyle);
  boxes->setFocus();
  QTest::keyClick(boxes, Qt::Key_End);  // "Cube"
  EXPECT_EQ(scene().boxStyle, 7.0f);
  EXPECT_EQ(scene().boxSize, (Vec3{0.26f, 0.26f, 0.035f}));
  EXPECT_EQ(scene().scale, (Vec3{0, 0, 0}));
  EXPECT_EQ(scene().productKind, kProductBox);
}

TEST_F(PanelTest, FaceButtonsAskTheNextFrameForThatFacesImage) {
  const fs::path picture = path() / "Boxes" / "pick.png";
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(Qt::green);
  ASSERT_TRUE(image.save(QString::fromStdString(picture.string())));
  platform_.fileAnswers = {picture.string()};
  scene().productKind = kProductBox;
  openPanel();
  EXPECT_EQ(ctl<QPushButton>(id::kPanelSpine)->text(), "Left");
  click(id::kPanelSpine);
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene().textureName[kNameBoxLeft] == "Boxes/pick.png"; }, 5000));
  EXPECT_EQ(scene().boxLeftLoadRequest, 0.0f) << "the frame took the request";
  EXPECT_EQ(platform_.fileRequests.size(), 1u);
}

TEST_F(PanelTest, TheTimelineScrubsTheBakedAnimation) {
  scene().rotation = {0, 0, 0};
  ASSERT_TRUE(AddKey(scene(), 0).done);
  scene().rotation = {100, 0, 0};
  ASSERT_TRUE(AddKey(scene(), 100).done);
  ControlPanel* panel = openPanel();
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelKeys)->text(), "1");
  ctl<QSlider>(id::kPanelTimeline)->setValue(50);  // hidden: moved as a scrub would
  EXPECT_EQ(scene().currentFrame, 50);
  // One degree a frame, reaching 100 a frame before the key at 100.
  EXPECT_FLOAT_EQ(scene().rotation[0], 51.0f);
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelFrame)->text(), "50");
  EXPECT_EQ(ctl<QLineEdit>(id::kPanelEdit1)->text(), "51");
  EXPECT_EQ(panel->timelinePosition(), 50);
}

TEST_F(PanelTest, LooksLikeACompactToolPanel) {
  ApplyBoxStyle(scene(), 0);
  scene().productKind = kProductBox;
  scene().lightingMode = 0;
  scene().movementMode = 0;
  scene().rotation = {30, 30, 0};
  ControlPanel* panel = openPanel();
  const RgbaImage image = FromQImage(panel->grab().toImage());
  EXPECT_MATCHES_BASELINE(image, "control_panel");
}
