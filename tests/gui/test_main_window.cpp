// The main window's commands, by action and by shortcut, with the scripted
// desktop answering the dialogs.
#include <gtest/gtest.h>

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QImage>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <QPainter>
#include <QScreen>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <csignal>
#include <cstring>
#include <fstream>

#include "app/about_dialog.h"
#include "render/export_image.h"
#include "formats/project_file.h"
#include "app/export_image_dialog.h"
#include "app/intro_dialog.h"
#include "app/qt_platform.h"
#include "app/settings_dialog.h"
#include "pictures/qimage_bridge.h"
#include "res/resource_ids.h"
#include "res/toolbar_art.h"
#include "scene/product_styles.h"
#include "tests/gui/panel_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/image_compare.h"
#include "tests/support/same_shot.h"
#include "tests/support/video_reader.h"

using namespace kestrova;
namespace id = kestrova::ids;
namespace fs = std::filesystem;

namespace {

class MainWindowTest : public test::PanelTest {
 protected:
  MainWindow* window() { return app_->mainWindow(); }
  // Shortcuts reach the active window only.
  void activate() {
    window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window()));
  }
  void trigger(int command) {
    QAction* action = window()->action(command);
    ASSERT_NE(action, nullptr) << command;
    action->trigger();
  }
  // Sizes the view (the window without visible bars) to `width` pixels.
  void viewWidth(int width) {
    window()->resize(width, 400);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view_->width() == width; }, 2000)) << view_->width();
  }
  static uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
  }
};

}  // namespace

TEST_F(MainWindowTest, BeforeStartThereIsNoMenuOrToolbarYetTheShortcutsWork) {
  EXPECT_EQ(window()->menuWidget(), nullptr);
  EXPECT_FALSE(window()->toolBar()->isVisible());
  activate();
  QTest::keyClick(window(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(platform_.clipboard.size(), 1u);
  QTest::keyClick(window(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(platform_.fileRequests.size(), 1u);
  EXPECT_EQ(platform_.fileRequests[0].title, "Export Screenshot");
  EXPECT_EQ(platform_.fileRequests[0].defaultExtension, "bmp");

  window()->showMenusAndToolbar();
  ASSERT_NE(window()->menuWidget(), nullptr);
  EXPECT_TRUE(window()->toolBar()->isVisible());
  EXPECT_EQ(window()->windowTitle(), "Kestrova");
}

TEST_F(MainWindowTest, TheMenusHoldTheirItemsWithIdsAndShortcuts) {
  window()->showMenusAndToolbar();
  QStringList items;
  for (QAction* menu : window()->menuBar()->actions()) {
    items << menu->text();
    for (QAction* item : menu->menu()->actions()) {
      if (item->isSeparator()) {
        items << "-";
      } else if (item->isVisible()) {
        items << item->objectName() + " " + item->text() + " " + item->shortcut().toString();
      }
    }
  }
  EXPECT_EQ(items, (QStringList{"&File", "57603 &Save Screenshot Ctrl+S", "57600 New ",
                                "32775 Copy Image to Clipboard Ctrl+C", "ExportImage &Export Image... Ctrl+E", "Export3DModel Export 3D &Model... ", "ExportPrintTemplate Export &Print Template... ", "LoadFullCover Load &Full Cover... ", "32790 Export &Animation... ", "CheckArtwork Chec&k Artwork... ", "-", "-", "57665 E&xit ",
                                "&Edit", "32779 &Preferences... Ctrl+,", "&View",
                                "59392 &Toolbar ", "59393 &Status Bar ", "-", "AdvancedControls &Advanced Controls ", "-",
                                "32772 Control &Panel F4", "32773 &Background Color... ", "StudioFloor Studio &Floor ", "StudioLook Studio &Look ",
                                "ScreenShotDevice Screen Shot &Device ",
                                "&Help", "57670 &On Line Help F1", "57664 &About Kestrova... F10",
                                "32781 Check for Updates "}));
  // The toolbar: save, separator, panel, colour, About.
  QStringList buttons;
  for (QAction* action : window()->toolBar()->actions()) {
    buttons << (action->isSeparator() ? "-" : action->objectName());
    if (action->isSeparator()) continue;
    EXPECT_FALSE(action->statusTip().isEmpty());
    auto* button = qobject_cast<QToolButton*>(window()->toolBar()->widgetForAction(action));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->accessibleName().isEmpty() && button->text().isEmpty());
  }
  EXPECT_EQ(buttons, (QStringList{"57603", "-", "32772", "32773", "57664"}));
  EXPECT_EQ(window()->action(id::kCommandControlPanel)->statusTip(), "Click to open the Kestrova Control Panel");
  EXPECT_EQ(window()->action(id::kCommandBackgroundColor)->statusTip(),
            "Click to open the background color selector");
}

TEST_F(MainWindowTest, TheViewMenuShowsAndHidesTheBarsWithCheckMarks) {
  window()->showMenusAndToolbar();
  QAction* toolbar = window()->action(id::kCommandToolbar);
  QAction* status = window()->action(id::kCommandStatusBar);
  EXPECT_TRUE(toolbar->isChecked());
  EXPECT_TRUE(status->isChecked());
  toolbar->trigger();
  status->trigger();
  EXPECT_FALSE(window()->toolBar()->isVisible());
  EXPECT_FALSE(window()->statusBar()->isVisible());
  EXPECT_FALSE(toolbar->isChecked());
  toolbar->trigger();
  EXPECT_TRUE(window()->toolBar()->isVisible());
  EXPECT_TRUE(toolbar->isChecked());
}

TEST_F(MainWindowTest, TheStatusBarHasTheLockPanes) {
  for (const char* pane : {"CAP", "NUM", "SCRL"}) {
    EXPECT_NE(window()->statusBar()->findChild<QWidget*>(pane), nullptr) << pane;
  }
}

TEST_F(MainWindowTest, TheControlPanelCommandNeverShowsAHiddenPanelNorMakesASecond) {
  trigger(id::kCommandControlPanel);
  ControlPanel* panel = view_->controlPanel();
  ASSERT_NE(panel, nullptr);
  panel->hide();
  trigger(id::kCommandControlPanel);
  EXPECT_EQ(view_->controlPanel(), panel);
  EXPECT_FALSE(panel->isVisible());
}

TEST_F(MainWindowTest, CapturesHideThePanelAndShowItAfter) {
  openPanel();
  std::vector<bool> shownWhileCapturing;
  platform_.whileAsked = [&] { shownWhileCapturing.push_back(view_->controlPanel()->isVisible()); };
  trigger(id::kCommandCopyImage);
  trigger(id::kCommandSaveScreenshot);  // cancelled
  EXPECT_EQ(shownWhileCapturing, (std::vector<bool>{false, false}));
  EXPECT_TRUE(view_->controlPanel()->isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor ended";
}

TEST_F(MainWindowTest, TheColourDialogSetsTheBackgroundAsFractionsOfWhite) {
  platform_.colorAnswers = {0xFFFFFFu, 0x000000u, std::nullopt};
  trigger(id::kCommandBackgroundColor);
  EXPECT_EQ(scene().backgroundColor, (Vec3{1.0f, 1.0f, 1.0f}));
  trigger(id::kCommandBackgroundColor);
  EXPECT_EQ(scene().backgroundColor, (Vec3{0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(scene().backgroundColorRef, 0u);
  trigger(id::kCommandBackgroundColor);  // cancelled
  EXPECT_EQ(scene().backgroundColor, (Vec3{0.0f, 0.0f, 0.0f}));
}

TEST_F(MainWindowTest, TheClipboardImageIsAsWideAsTheViewRoundedDownToFour) {
  for (const auto& [width, expected] : {std::pair{801, 800}, {803, 800}, {804, 804}}) {
    viewWidth(width);
    trigger(id::kCommandCopyImage);
    const std::vector<uint8_t>& dib = platform_.clipboard.back();
    const uint32_t height = static_cast<uint32_t>(view_->height());
    EXPECT_EQ(le32(dib, 0), 40u);
    EXPECT_EQ(le32(dib, 4), static_cast<uint32_t>(expected)) << width;
    EXPECT_EQ(le32(dib, 8), height);
    EXPECT_EQ(dib.size(), 40u + static_cast<size_t>(expected) * height * 3u);
  }
}

TEST_F(MainWindowTest, SaveScreenshotWritesBmpOrPngAndCancelWritesNothing) {
  viewWidth(640);
  const fs::path bmp = path() / "shot.bmp";
  const fs::path png = path() / "shot.png";
  platform_.fileAnswers = {std::nullopt, bmp.string(), png.string()};
  trigger(id::kCommandSaveScreenshot);
  EXPECT_TRUE(platform_.messages.size() == 1u) << "cancel says nothing";
  trigger(id::kCommandSaveScreenshot);
  trigger(id::kCommandSaveScreenshot);
  const auto height = static_cast<uintmax_t>(view_->height());
  EXPECT_EQ(fs::file_size(bmp), 54u + 640u * height * 3u);
  const QImage picture(QString::fromStdString(png.string()));
  EXPECT_EQ(picture.width(), 640);
  EXPECT_EQ(picture.height(), static_cast<int>(height));
  EXPECT_EQ(fs::directory_iterator(path()) == fs::directory_iterator(), false);
}

TEST_F(MainWindowTest, AScreenshotThatCannotBeWrittenSaysWhere) {
  platform_.fileAnswers = {(path() / "no such folder" / "shot.bmp").string()};
  trigger(id::kCommandSaveScreenshot);
  ASSERT_EQ(platform_.messages.size(), 2u);
  EXPECT_NE(platform_.messages.back().text.find("no such folder/shot.bmp"), std::string::npos);
}

TEST_F(MainWindowTest, NewResetsTheShotFieldByField) {
  scene().rotation = {1, 2, 3};
  ASSERT_TRUE(AddKey(scene(), 40).done);
  Play(scene());
  scene().pan = {5, 6, 7};
  scene().spotLight = {8, 9, 10};
  scene().productKind = kProductMug;
  scene().panelSubMode = 2;
  scene().lightingMode = 2;
  ApplyBoxStyle(scene(), 3);
  scene().bookBinding = 1;
  scene().backgroundColor = {0.2f, 0.3f, 0.4f};
  scene().imagePathIsAbsolute = 2;
  scene().currentFrame = 17;
  trigger(id::kCommandNew);
  const SceneState& s = scene();
  EXPECT_EQ(s.rotation, (Vec3{30, 30, 0}));
  EXPECT_EQ(s.pan, (Vec3{0, 0, 0}));
  EXPECT_EQ(s.spotLight, (Vec3{0, 0, 0}));
  EXPECT_EQ(s.boxSize, (Vec3{0.26f, 0.21f, 0.035f}));
  EXPECT_EQ(s.scale, (Vec3{0, 14, -45}));
  EXPECT_EQ(s.backgroundColor, (Vec3{255, 255, 255}));
  EXPECT_EQ(s.productKind, kProductBook);
  EXPECT_EQ(s.panelSubMode, 0.0f);
  EXPECT_EQ(s.lightingMode, 0.0f);
  EXPECT_EQ(s.boxStyle, 0.0f);
  EXPECT_EQ(s.bookBinding, 2.0f);
  EXPECT_EQ(s.imagePathIsAbsolute, 0.0f);
  EXPECT_EQ(s.spinGuard, 2.0f);
  EXPECT_FALSE(s.playing);
  EXPECT_EQ(s.keyCount, 0);
  EXPECT_EQ(s.animationLength, 0);
  EXPECT_EQ(s.baseRotation, (Vec3{30, 30, 0}));
  EXPECT_EQ(s.baseScale, (Vec3{0, 0, 0}));
  EXPECT_EQ(s.textureName[kNameBoxFront].empty(), false);
}

TEST_F(MainWindowTest, NewRebuildsAnOpenPanel) {
  ControlPanel* old = openPanel();
  QPointer<ControlPanel> watch(old);
  trigger(id::kCommandNew);
  EXPECT_TRUE(watch.isNull());
  ASSERT_NE(view_->controlPanel(), nullptr);
  EXPECT_FALSE(view_->controlPanel()->keyCopied());
}

TEST_F(MainWindowTest, SettingsApplyTheLastChosenFormatToTheOuterSize) {
  trigger(id::kCommandSettings);
  SettingsDialog* dialog = commands()->settingsDialog();
  ASSERT_NE(dialog, nullptr);
  trigger(id::kCommandSettings);
  EXPECT_EQ(commands()->settingsDialog(), dialog) << "no second dialog";
  auto* formats = dialog->findChild<QComboBox*>(QString::number(id::kSettingsFormat));
  ASSERT_EQ(formats->count(), 17);
  EXPECT_EQ(formats->itemText(2), "VCD PAL        25 Frames/Second            352x288               ");
  formats->setFocus();
  QTest::keyClick(formats, Qt::Key_End);  // 1920x1080
  EXPECT_EQ(commands()->videoFormat(), 16);
  QTest::mouseClick(dialog->findChild<QPushButton*>(QString::number(id::kSettingsApply)), Qt::LeftButton);
  EXPECT_EQ(commands()->settingsDialog(), nullptr);
  // As large as the format asks, but never past the screen.
  const QSize largest = QSize(1924, 1104).boundedTo(window()->screen()->availableGeometry().size());
  EXPECT_EQ(window()->frameGeometry().size(), largest);
  EXPECT_LE(window()->frameGeometry().width(), window()->screen()->availableGeometry().width());

  trigger(id::kCommandSettings);
  dialog = commands()->settingsDialog();
  ASSERT_NE(dialog, nullptr) << "a fresh dialog after Apply";
  formats = dialog->findChild<QComboBox*>(QString::number(id::kSettingsFormat));
  EXPECT_EQ(formats->currentIndex(), 0) << "a fresh dialog shows the first format";
  window()->resize(500, 500);
  QTest::mouseClick(dialog->findChild<QPushButton*>(QString::number(id::kSettingsApply)), Qt::LeftButton);
  EXPECT_EQ(window()->frameGeometry().size(), largest) << "Apply uses the last chosen format";
}

TEST_F(MainWindowTest, HelpOpensTheShippedManualOrSaysWhereItIs) {
  trigger(id::kCommandHelp);
  ASSERT_EQ(platform_.openedFiles.size(), 1u);
  EXPECT_EQ(platform_.openedFiles[0], path().string() + "/Manual/index.html");
  platform_.localFilesOpen = false;
  activate();
  QTest::keyClick(window(), Qt::Key_F1);
  EXPECT_EQ(platform_.openedFiles.size(), 2u);
  ASSERT_EQ(platform_.messages.size(), 2u);
  EXPECT_NE(platform_.messages.back().text.find("Manual/index.html"), std::string::npos);
}

TEST_F(MainWindowTest, CheckForUpdatesDoesNotAskFirst) {
  test::HttpTestServer server;
  server.body = "version=0.1.0\n";
  app_->setUpdateScriptUrl(server.url("/kestrova-update.txt"));
  trigger(id::kCommandCheckForUpdates);
  ASSERT_EQ(platform_.messages.size(), 2u);
  EXPECT_EQ(platform_.messages[1].buttons, MessageButtons::Ok);
}

TEST_F(MainWindowTest, AboutShowsTheProgramAndOpensTheHomePage) {
  QImage shot;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), "Kestrova");
    auto* forum = about->findChild<QPushButton*>(QString::number(id::kAboutForum));
    EXPECT_FALSE(forum->isVisible());
    shot = about->grab().toImage();
    QTest::mouseClick(about->findChild<QPushButton*>(QString::number(id::kAboutHomePage)), Qt::LeftButton);
    QTest::mouseClick(about->findChild<QPushButton*>(QString::number(id::kAboutOk)), Qt::LeftButton);
  });
  trigger(id::kCommandAbout);
  EXPECT_EQ(platform_.openedUrls, (std::vector<std::string>{"http://www.kestrova.example/"}));
  ASSERT_FALSE(shot.isNull());
  EXPECT_MATCHES_BASELINE(FromQImage(shot), "about_dialog");
}

TEST_F(MainWindowTest, CtrlOOpensTheProjectChosen) {
  // A project saved with a pose of its own, then the shot moved away.
  scene().playing = false;
  scene().keyCount = 0;
  scene().rotation = {12, 34, 0};
  const fs::path project = path() / "chosen.TSMR";
  ASSERT_TRUE(WriteProject(scene(), project.string()).ok);
  scene().rotation = {1, 1, 1};
  platform_.fileAnswers = {project.string()};
  activate();
  QTest::keyClick(window(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(platform_.fileRequests.size(), 1u);
  EXPECT_EQ(platform_.fileRequests[0].title, "Open a Kestrova File");
  EXPECT_EQ(scene().rotation, (Vec3{12, 34, 0})) << "the chosen project's pose";
}

TEST_F(MainWindowTest, LooksRightAfterStart) {
  window()->resize(800, 600);
  ASSERT_NE(commands()->introDialog(), nullptr);
  commands()->introDialog()->OnStart();  // what the intro's Start button runs
  const long long frames = view_->framesDrawn();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_->framesDrawn() > frames + 1; }, 5000));
  QTest::qWait(100);
  // What the X server shows: a widget grab would not composite the view.
  const QImage shown = window()->screen()->grabWindow(window()->winId()).toImage();
  EXPECT_MATCHES_BASELINE(FromQImage(shown), "main_window");
}

TEST(ToolbarArtwork, NormalHotAndDisabledButtons) {
  QImage all(kToolbarButtonSize * kToolbarButtonCount, kToolbarButtonSize * 3, QImage::Format_ARGB32);
  all.fill(Qt::white);
  QPainter p(&all);
  p.drawImage(0, 0, ToolbarStrip(ToolbarArt::Normal));
  p.drawImage(0, kToolbarButtonSize, ToolbarStrip(ToolbarArt::Hot));
  p.drawImage(0, 2 * kToolbarButtonSize, ToolbarStrip(ToolbarArt::Disabled));
  p.end();
  EXPECT_MATCHES_BASELINE(FromQImage(all), "toolbar_buttons");
}

TEST_F(MainWindowTest, SettingsLooksRight) {
  trigger(id::kCommandSettings);
  ASSERT_NE(commands()->settingsDialog(), nullptr);
  EXPECT_MATCHES_BASELINE(FromQImage(commands()->settingsDialog()->grab().toImage()), "settings_dialog");
}

// ---- Dropping files ----

namespace {

void dropOn(QWidget* view, QPoint at, const fs::path& file) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(view, &enter);
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(view, &drop);
}

}  // namespace

TEST_F(MainWindowTest, AnImageDroppedOnAFaceGoesToThatFace) {
  const fs::path picture = path() / "Boxes" / "dropped.png";
  QImage image(32, 32, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  ASSERT_TRUE(image.save(QString::fromStdString(picture.string())));
  ApplyBoxStyle(scene(), 0);
  scene().productKind = kProductBox;
  scene().startupFrameCount = 5;
  const QPoint centre = view_->rect().center();

  scene().rotation = {0, 0, 0};
  EXPECT_EQ(view_->faceAt(centre), FaceRequest::BoxFront);
  EXPECT_EQ(view_->faceAt({2, 2}), std::nullopt) << "the background";
  const uint32_t front = scene().textureSlot[kSlotBoxFront];
  dropOn(view_, centre, picture);
  EXPECT_EQ(scene().textureName[kNameBoxFront], "Boxes/dropped.png");
  EXPECT_NE(scene().textureSlot[kSlotBoxFront], front);

  scene().rotation = {0, 90, 0};  // the left side, the box's spine, faces us
  const uint32_t spine = scene().textureSlot[kSlotBoxLeft];
  const std::string backName = scene().textureName[kNameBoxBack];
  dropOn(view_, centre, picture);
  EXPECT_EQ(scene().textureName[kNameBoxLeft], "Boxes/dropped.png");
  EXPECT_NE(scene().textureSlot[kSlotBoxLeft], spine);
  EXPECT_EQ(scene().textureName[kNameBoxBack], backName);

  const std::string leftName = scene().textureName[kNameBoxLeft];
  dropOn(view_, {2, 2}, picture);  // the background takes nothing
  EXPECT_TRUE(platform_.messages.size() == 1u);
}

TEST_F(MainWindowTest, AProjectDroppedOnTheViewOpens) {
  auto still = std::make_unique<SceneState>();
  still->rotation = {11, 22, 33};
  const fs::path file = path() / "dropped.TSMR";
  ASSERT_TRUE(WriteProject(*still, file.string()).ok);
  dropOn(view_, view_->rect().center(), file);
  EXPECT_EQ(scene().rotation, (Vec3{11, 22, 33}));
}


TEST_F(MainWindowTest, TheAdvancedControlsMenuItemShowsTheProjectCommandsAndTheSecondRow) {
  app_->setAdvancedControls(false);
  window()->showAdvancedCommands(false);
  window()->showMenusAndToolbar();
  auto* advanced = window()->findChild<QAction*>("AdvancedControls");
  ASSERT_NE(advanced, nullptr);
  EXPECT_FALSE(advanced->isChecked());
  EXPECT_FALSE(window()->action(id::kCommandOpenProject)->isVisible());
  advanced->trigger();
  EXPECT_TRUE(app_->advancedControls());
  EXPECT_TRUE(window()->action(id::kCommandOpenProject)->isVisible());
  EXPECT_EQ(window()->action(id::kCommandSaveProject)->shortcut(), QKeySequence("Ctrl+Shift+S"));
  openPanel();
  EXPECT_TRUE(ctl(id::kPanelTimeline)->isVisible());
}

TEST_F(MainWindowTest, AProjectWhosePicturesAreMissingOpensAndSaysWhich) {
  auto shot = std::make_unique<SceneState>();
  shot->textureName[kNameBoxFront] = "Boxes/nothing-here.jpg";
  shot->textureName[kNameMug] = "Mug/gone.png";
  shot->rotation = {5, 6, 7};
  const fs::path file = path() / "missing pictures.TSMR";
  ASSERT_TRUE(WriteProject(*shot, file.string()).ok);
  platform_.fileAnswers = {file.string()};
  const uint32_t front = scene().textureSlot[kSlotBoxFront];
  commands()->OnOpenProject();
  EXPECT_EQ(scene().rotation, (Vec3{5, 6, 7})) << "the project opened";
  EXPECT_EQ(scene().textureSlot[kSlotBoxFront], front) << "the face keeps its picture";
  ASSERT_EQ(platform_.messages.size(), 4u) << "one message for the load, then an offer to look for each";
  EXPECT_EQ(platform_.messages[1].caption, "Warning");
  EXPECT_NE(platform_.messages[1].text.find("nothing-here.jpg"), std::string::npos);
  EXPECT_NE(platform_.messages[1].text.find("gone.png"), std::string::npos);
  EXPECT_EQ(platform_.messages[2].buttons, MessageButtons::YesNo);
  EXPECT_NE(platform_.messages[2].text.find("nothing-here.jpg") + platform_.messages[3].text.find("nothing-here.jpg"),
            2 * std::string::npos);
}

TEST_F(MainWindowTest, AProjectWithWebPicturesAsksFirst) {
  test::HttpTestServer server;
  QImage picture(16, 16, QImage::Format_RGB32);
  picture.fill(Qt::yellow);
  QBuffer buffer(&server.body);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  auto shot = std::make_unique<SceneState>();
  shot->textureName[kNameBoxFront] = server.url("/front.png");
  const fs::path file = path() / "web.TSMR";
  ASSERT_TRUE(WriteProject(*shot, file.string()).ok);

  platform_.answers = {MessageAnswer::No};
  platform_.fileAnswers = {file.string()};
  commands()->OnOpenProject();
  ASSERT_GE(platform_.messages.size(), 3u);
  EXPECT_NE(platform_.messages[1].text.find("pictures from the web: 127.0.0.1"), std::string::npos);
  EXPECT_EQ(server.requests(), 0);
  EXPECT_NE(platform_.messages[2].text.find("not fetched from the web"), std::string::npos);

  platform_.answers = {MessageAnswer::Yes};
  platform_.fileAnswers = {file.string()};
  const uint32_t before = scene().textureSlot[kSlotBoxFront];
  commands()->OnOpenProject();
  EXPECT_EQ(server.requests(), 1);
  EXPECT_NE(scene().textureSlot[kSlotBoxFront], before);
}

TEST_F(MainWindowTest, ExportAnimationWritesATurntableAtTheSettingsFormat) {
  const fs::path video = path() / "spin.webm";
  platform_.fileAnswers = {video.string()};
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Export Animation");
    auto* turntable = dialog->findChild<QCheckBox*>("Turntable");
    ASSERT_NE(turntable, nullptr);
    EXPECT_TRUE(turntable->isChecked()) << "no keys: a turntable is the animation there is";
    auto* seconds = dialog->findChild<QSpinBox*>("TurntableSeconds");
    seconds->setValue(1);
    QTest::mouseClick(dialog->findChild<QPushButton*>("ExportOk"), Qt::LeftButton);
  });
  const Vec3 pose = scene().rotation;
  trigger(id::kCommandExportAnimation);
  const test::VideoInfo info = test::ReadVideo(video.string());
  EXPECT_EQ(info.frames, 25) << "one second at the first format's 25 frames a second";
  EXPECT_EQ(info.width, 720);
  EXPECT_EQ(info.height, 576);
  EXPECT_EQ(scene().rotation, pose) << "the shot is put back as it was";
  EXPECT_EQ(platform_.messages.size(), 1u) << "no complaint";
}

TEST_F(MainWindowTest, TheStudioFloorFollowsItsMenuItemAndPreferencesAndIsKept) {
  QAction* floor = window()->studioFloorAction();
  ASSERT_NE(floor, nullptr);
  EXPECT_FALSE(floor->isChecked());
  EXPECT_FALSE(scene().studioFloor.on()) << "off until asked for";
  const RgbaImage without = view_->captureFrame();
  floor->trigger();
  EXPECT_TRUE(scene().studioFloor.shadow);
  EXPECT_TRUE(scene().studioFloor.reflection);
  // What the screenshot and the clipboard take shows it: the floor darkens
  // the white under the product.
  const RgbaImage with = view_->captureFrame();
  ASSERT_EQ(with.pixels.size(), without.pixels.size());
  int darkened = 0;
  for (size_t i = 0; i < with.pixels.size(); i += 4) darkened += with.pixels[i] + 8 < without.pixels[i];
  EXPECT_GT(darkened, 200);
  // The strengths from Preferences, typed.
  trigger(id::kCommandSettings);
  SettingsDialog* dialog = commands()->settingsDialog();
  ASSERT_NE(dialog, nullptr);
  auto* shadow = dialog->findChild<QSpinBox*>("ShadowStrength");
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(shadow->value(), scene().studioFloor.shadowStrength);
  shadow->setFocus();
  shadow->selectAll();
  QTest::keyClicks(shadow, "25");
  EXPECT_EQ(scene().studioFloor.shadowStrength, 25);
  // Kept for the next start.
  app_.reset();
  app_ = start();
  view_ = Application::ActiveView();
  EXPECT_TRUE(window()->studioFloorAction()->isChecked());
  EXPECT_TRUE(scene().studioFloor.on());
  EXPECT_EQ(scene().studioFloor.shadowStrength, 25);
}

// View > Screen Shot Device shows the screen shot in the device picked,
// in the studio look; the menu ticks the shot's own.
TEST_F(MainWindowTest, ViewScreenShotDeviceShowsTheScreenShotInAPhone) {
  window()->findChild<QAction*>("StudioLook")->setChecked(true);
  ASSERT_TRUE(scene().look.studio);
  scene().productKind = kProductScreenShot;
  const RgbaImage board = view_->captureFrame();
  auto* menu = window()->findChild<QAction*>("ScreenShotDevice");
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(menu->menu(), nullptr);
  EXPECT_FALSE(menu->statusTip().isEmpty());
  auto* phone = window()->findChild<QAction*>("Device-phone");
  ASSERT_NE(phone, nullptr);
  phone->trigger();
  EXPECT_EQ(scene().look.device, "phone");
  const RgbaImage shown = view_->captureFrame();
  ASSERT_EQ(shown.pixels.size(), board.pixels.size());
  EXPECT_NE(shown.pixels, board.pixels) << "the phone looks like the board";
  scene().look.device = "laptop";
  emit menu->menu()->aboutToShow();
  EXPECT_TRUE(window()->findChild<QAction*>("Device-laptop")->isChecked());
  EXPECT_FALSE(phone->isChecked());
}

TEST_F(MainWindowTest, ViewStudioLookDrawsTheStandingProductAndIsKept) {
  auto* look = window()->findChild<QAction*>("StudioLook");
  ASSERT_NE(look, nullptr);
  EXPECT_FALSE(look->isChecked());
  const RgbaImage classic = view_->captureFrame();
  look->trigger();
  EXPECT_TRUE(scene().look.studio);
  EXPECT_TRUE(scene().studioFloor.shadow) << "the product stands on its shadow";
  const RgbaImage studio = view_->captureFrame();
  ASSERT_EQ(studio.pixels.size(), classic.pixels.size());
  // The floor under the product: grey pixels darker than the white, which the
  // classic frame without a floor never has.
  int floorShade = 0;
  for (size_t i = 0; i < studio.pixels.size(); i += 4) {
    const uint8_t* p = &studio.pixels[i];
    floorShade += p[0] > 150 && p[0] < 245 && p[0] == p[1] && p[1] == p[2];
  }
  EXPECT_GT(floorShade, 200);
  EXPECT_NE(studio.pixels, classic.pixels);
  app_.reset();
  app_ = start();
  view_ = Application::ActiveView();
  EXPECT_TRUE(window()->findChild<QAction*>("StudioLook")->isChecked());
  EXPECT_TRUE(scene().look.studio);
  // The new window's context is not the old one: the studio draws afresh
  // in it, on screen and off, the shadow and all.
  for (int again = 0; again < 2; ++again) {
    RgbaImage next = view_->captureFrame();
    if (again == 1) {
      ExportOptions options;
      options.width = 300;
      options.height = 200;
      RenderHost quiet;
      std::string error;
      view_->makeCurrent();
      next = RenderExport(scene(), quiet, options, &error);
      view_->doneCurrent();
      ASSERT_FALSE(next.pixels.empty()) << error;
    }
    int shade = 0;
    for (size_t i = 0; i < next.pixels.size(); i += 4) {
      const uint8_t* p = &next.pixels[i];
      shade += p[0] > 150 && p[0] < 245 && p[0] == p[1] && p[1] == p[2];
    }
    EXPECT_GT(shade, 200) << again;
  }
}

TEST_F(MainWindowTest, ExportImageWritesTheSizeAndLookChosenAndRemembersThem) {
  const fs::path picture = path() / "studio.png";
  platform_.fileAnswers = {picture.string()};
  activate();
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Export Image");
    // Every control a user reaches has a name a screen reader says.
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
      if (control->focusPolicy() == Qt::NoFocus || control->objectName().startsWith("qt_")) continue;
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
      ASSERT_NE(accessible, nullptr);
      EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << control->objectName().toStdString();
    }
    auto* width = dialog->findChild<QSpinBox*>("ExportWidth");
    auto* height = dialog->findChild<QSpinBox*>("ExportHeight");
    ASSERT_NE(width, nullptr);
    ASSERT_NE(height, nullptr);
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, "400");
    height->setFocus();
    height->selectAll();
    QTest::keyClicks(height, "300");
    auto* look = dialog->findChild<QComboBox*>("ExportLook");
    look->setCurrentIndex(1);
    dialog->findChild<QCheckBox*>("ExportTransparent")->setChecked(true);
    QTest::mouseClick(dialog->findChild<QPushButton*>("ExportImageOk"), Qt::LeftButton);
  });
  const Vec3 pose = scene().rotation;
  const bool studioBefore = scene().look.studio;
  QTest::keyClick(window(), Qt::Key_E, Qt::ControlModifier);
  const QImage written(QString::fromStdString(picture.string()));
  ASSERT_FALSE(written.isNull()) << "nothing written: "
                                 << (platform_.messages.empty() ? "" : platform_.messages.back().text);
  EXPECT_EQ(written.width(), 400);
  EXPECT_EQ(written.height(), 300);
  EXPECT_TRUE(written.hasAlphaChannel());
  EXPECT_EQ(qAlpha(written.pixel(0, 0)), 0) << "a clear corner";
  int partial = 0;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 400; ++x) partial += qAlpha(written.pixel(x, y)) > 10 && qAlpha(written.pixel(x, y)) < 200;
  }
  EXPECT_GT(partial, 100) << "the studio's shadow, see-through";
  EXPECT_EQ(scene().rotation, pose) << "the shot is put back as it was";
  EXPECT_EQ(scene().look.studio, studioBefore);
  EXPECT_EQ(ExportImageDialog::Remembered().width, 400);
  EXPECT_TRUE(ExportImageDialog::Remembered().studio);
}

// SIGTERM during a long export (8000 x 8000 takes most of a minute) stops
// it at the next tile: the program can end at once, and nothing of the
// picture is left at its name or beside it.
TEST_F(MainWindowTest, ASignalToEndStopsABigExportAtTheNextTileLeavingNoFile) {
  const fs::path picture = path() / "big.png";
  platform_.fileAnswers = {picture.string()};
  activate();
  // The program's own handler notes the signal, as this one does.
  struct sigaction noting {}, before {};
  noting.sa_handler = [](int) { kestrova::NoteTerminateSignal(); };
  sigemptyset(&noting.sa_mask);
  ASSERT_EQ(sigaction(SIGTERM, &noting, &before), 0);
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    for (const char* name : {"ExportWidth", "ExportHeight"}) {
      auto* box = dialog->findChild<QSpinBox*>(name);
      ASSERT_NE(box, nullptr);
      box->setValue(8000);
    }
    dialog->findChild<QComboBox*>("ExportLook")->setCurrentIndex(0);
    QTest::mouseClick(dialog->findChild<QPushButton*>("ExportImageOk"), Qt::LeftButton);
  });
  QElapsedTimer sent;
  QTimer::singleShot(1500, [&sent] {
    sent.start();
    ::raise(SIGTERM);
  });
  QTest::keyClick(window(), Qt::Key_E, Qt::ControlModifier);
  const qint64 afterSignal = sent.isValid() ? sent.elapsed() : -1;
  sigaction(SIGTERM, &before, nullptr);
  const bool noted = kestrova::TerminateSignalled();
  kestrova::ForgetTerminateSignal();
  ASSERT_TRUE(noted) << "the signal came while the export ran";
  EXPECT_FALSE(fs::exists(picture)) << "a picture cut short is no picture";
  for (const auto& entry : fs::directory_iterator(path())) {
    EXPECT_EQ(entry.path().filename().string().find("big"), std::string::npos) << entry.path();
  }
  EXPECT_TRUE(platform_.messages.empty() || platform_.messages.back().text.find("big.png") == std::string::npos)
      << "the program is ending: nothing to say";
  std::printf("the export ended %lld ms after the signal\n", static_cast<long long>(afterSignal));
}

// The studio's own choices: a set-up, a background, the shadow; a preview
// of the framed result shows them before anything is written.
TEST_F(MainWindowTest, ExportImageShowsAPreviewAndTakesTheStudiosSetUpBackgroundAndShadow) {
  const fs::path picture = path() / "dark.png";
  const fs::path sky = path() / "sky.hdr";
  platform_.fileAnswers = {sky.string(), picture.string()};
  activate();
  QImage before, after;
  QString chosenSky;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    // The environment is asked for as every file is (a program's own
    // chooser would escape the platform: its answers, its folders).
    QTest::mouseClick(dialog->findChild<QPushButton*>("ExportEnvironmentBrowse"), Qt::LeftButton);
    auto* environment = dialog->findChild<QLineEdit*>("ExportEnvironment");
    chosenSky = environment->text();
    environment->clear();
    auto* preview = dialog->findChild<QLabel*>("ExportPreview");
    ASSERT_NE(preview, nullptr);
    dialog->findChild<QComboBox*>("ExportLook")->setCurrentIndex(1);
    dialog->findChild<QCheckBox*>("ExportTransparent")->setChecked(false);
    QTRY_VERIFY_WITH_TIMEOUT(!preview->pixmap().isNull(), 5000);
    before = preview->pixmap().toImage();
    dialog->findChild<QComboBox*>("ExportStudioSetup")->setCurrentIndex(2);
    auto* background = dialog->findChild<QLineEdit*>("ExportBackground");
    background->setFocus();
    background->selectAll();
    QTest::keyClicks(background, "203040");
    QTest::keyClick(background, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(preview->pixmap().toImage().pixel(0, 0) != before.pixel(0, 0), 5000);
    after = preview->pixmap().toImage();
    QTest::mouseClick(dialog->findChild<QPushButton*>("ExportImageOk"), Qt::LeftButton);
  });
  const QColor backgroundBefore = QColor::fromRgbF(scene().backgroundColor[0], scene().backgroundColor[1],
                                                   scene().backgroundColor[2]);
  QTest::keyClick(window(), Qt::Key_E, Qt::ControlModifier);
  ASSERT_FALSE(before.isNull());
  ASSERT_FALSE(after.isNull());
  EXPECT_EQ(QColor(after.pixel(0, 0)), QColor(0x20, 0x30, 0x40)) << "the preview shows the background chosen";
  const QImage written(QString::fromStdString(picture.string()));
  ASSERT_FALSE(written.isNull());
  EXPECT_EQ(QColor(written.pixel(0, 0)), QColor(0x20, 0x30, 0x40));
  EXPECT_EQ(QColor::fromRgbF(scene().backgroundColor[0], scene().backgroundColor[1], scene().backgroundColor[2]),
            backgroundBefore) << "the shot's own background is put back";
  EXPECT_EQ(ExportImageDialog::Remembered().setup, 2);
  EXPECT_EQ(chosenSky.toStdString(), sky.string());
  ASSERT_FALSE(platform_.fileRequests.empty());
  EXPECT_EQ(platform_.fileRequests.front().title, "Environment Picture");
}

TEST_F(MainWindowTest, ASaveNameOfAKindNotWrittenAsksAgainInsteadOfWritingABitmapUnderIt) {
  const fs::path gif = path() / "shot.gif";
  const fs::path png = path() / "shot.png";
  platform_.fileAnswers = {gif.string(), png.string()};
  trigger(id::kCommandSaveScreenshot);
  EXPECT_FALSE(fs::exists(gif));
  EXPECT_TRUE(fs::exists(png));
  ASSERT_EQ(platform_.fileRequests.size(), 2u) << "asked again";
  EXPECT_EQ(platform_.fileRequests[1].initialName, "shot.bmp");
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_NE(platform_.messages.back().text.find("shot.gif"), std::string::npos) << platform_.messages.back().text;
}

TEST_F(MainWindowTest, AMissingFaceIsNamedAndLookedForBesideTheProject) {
  const fs::path folder = path() / "shots";
  fs::create_directories(folder / "art");
  QImage blue(8, 8, QImage::Format_RGB32);
  blue.fill(Qt::blue);
  const fs::path moved = folder / "art" / "cover.png";
  ASSERT_TRUE(blue.save(QString::fromStdString(moved.string())));
  scene().playing = false;
  scene().keyCount = 0;
  scene().textureName[kNameBoxFront] = "Boxes/cover-that-moved.png";
  // Written as an older Kestrova or another program would: the name as it is.
  const fs::path project = folder / "moved.TSMR";
  const std::vector<uint8_t> bytes = SerialiseProject(scene());
  std::ofstream(project, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
  platform_.answers = {MessageAnswer::Yes};
  platform_.fileAnswers = {project.string(), moved.string()};
  trigger(id::kCommandOpenProject);
  ASSERT_EQ(platform_.fileRequests.size(), 2u);
  EXPECT_EQ(platform_.fileRequests[1].initialDirectory, folder.string()) << "the search starts beside the project";
  bool named = false;
  for (const auto& message : platform_.messages) named |= message.text.find("cover-that-moved.png") != std::string::npos;
  EXPECT_TRUE(named);
  EXPECT_EQ(fs::path(scene().artwork[kSlotBoxFront].path), moved);
  EXPECT_EQ(scene().textureName[kNameBoxFront], moved.string()) << "the next save names it where it is";
}

// The dialog's export is kestrova-render's: the written file at the
// dialog's own defaults (3000 x 2000, supersampled 2 x 2, drawn in 1024-pixel
// tiles) and at a small size in the dark set-up matches the command line given
// the same options, and the preview is the file shrunk.
TEST_F(MainWindowTest, ExportImageWritesWhatTheCommandLineDrawsAndItsPreviewShows) {
  struct Case {
    int width, height, setup;
    const char* studio;
  };
  const Case cases[] = {{3000, 2000, 0, "bright"}, {640, 480, 2, "dark"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.studio);
    const fs::path picture = path() / (std::string(c.studio) + ".png");
    platform_.fileAnswers = {picture.string()};
    activate();
    QImage preview;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      dialog->findChild<QSpinBox*>("ExportWidth")->setValue(c.width);
      dialog->findChild<QSpinBox*>("ExportHeight")->setValue(c.height);
      dialog->findChild<QComboBox*>("ExportSupersample")->setCurrentIndex(1);
      dialog->findChild<QComboBox*>("ExportLook")->setCurrentIndex(1);
      dialog->findChild<QComboBox*>("ExportFloor")->setCurrentIndex(1);
      dialog->findChild<QCheckBox*>("ExportTransparent")->setChecked(false);
      dialog->findChild<QCheckBox*>("ExportFit")->setChecked(true);
      dialog->findChild<QSpinBox*>("ExportMargin")->setValue(8);
      dialog->findChild<QComboBox*>("ExportStudioSetup")->setCurrentIndex(c.setup);
      dialog->findChild<QLineEdit*>("ExportBackground")->clear();
      auto* label = dialog->findChild<QLabel*>("ExportPreview");
      // The preview follows the last change after a pause.
      QTest::qWait(600);
      QTRY_VERIFY_WITH_TIMEOUT(!label->pixmap().isNull(), 5000);
      preview = label->pixmap().toImage();
      QTest::mouseClick(dialog->findChild<QPushButton*>("ExportImageOk"), Qt::LeftButton);
    });
    QTest::keyClick(window(), Qt::Key_E, Qt::ControlModifier);
    const RgbaImage written = test::LoadPng(picture.string());
    ASSERT_FALSE(written.pixels.empty()) << (platform_.messages.empty() ? "" : platform_.messages.back().text);
    const fs::path project = path() / "shot.TSMR";
    const std::vector<uint8_t> bytes = SerialiseProject(scene());
    std::ofstream(project, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
    const fs::path cli = path() / "cli.png";
    const std::string command = std::string(KESTROVA_RENDER) + " --project " + project.string() + " -o " + cli.string() +
                                " --size " + std::to_string(c.width) + "x" + std::to_string(c.height) +
                                " --supersample 2 --look studio --floor shadow --fit 8 --lens 50 --studio " + c.studio +
                                " --gloss 0 --shadow 60 --softness 40 > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const RgbaImage expected = test::LoadPng(cli.string());
    ASSERT_EQ(expected.pixels.size(), written.pixels.size());
    double difference = 0;
    for (size_t i = 0; i < written.pixels.size(); ++i) difference += std::abs(written.pixels[i] - expected.pixels[i]);
    EXPECT_LE(difference / static_cast<double>(written.pixels.size()), 2.0) << "mean difference from kestrova-render";
    EXPECT_EQ(written.at(0, 0)[0] < 64, c.setup == 2) << "only the dark set-up brings its dark sweep";
    ASSERT_FALSE(preview.isNull());
    EXPECT_TRUE(test::IsTheSmallShotEnlarged(FromQImage(preview), written)) << "the preview is the file shrunk";
  }
}
