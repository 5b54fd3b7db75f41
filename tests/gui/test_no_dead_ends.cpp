// Paths a new user takes, by keyboard and by mouse, that must lead
// somewhere: the first minute without a mouse, the panel after a load, the
// toggles, the clipboard's flavours, screenshots, the status hint.
#include <gtest/gtest.h>

#include <functional>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>

#include "app/about_dialog.h"
#include "app/artwork_check_dialog.h"
#include "app/intro_dialog.h"
#include "app/qt_platform.h"
#include "app/settings_dialog.h"
#include "formats/bmp_export.h"
#include "res/resource_ids.h"
#include "shot/project_io.h"
#include "tests/gui/panel_fixture.h"

using namespace kestrova;
namespace id = kestrova::ids;
namespace fs = std::filesystem;

namespace {

bool activate(QWidget* window) {
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

class NoDeadEnds : public test::PanelTest {
 protected:
  MainWindow* window() { return app_->mainWindow(); }
  void trigger(int command) { window()->action(command)->trigger(); }
};

}  // namespace

TEST_F(NoDeadEnds, AFirstMinuteWithTheKeyboardAlone) {
  app_.reset();
  writeFlag("True");
  platform_.messages.clear();
  platform_.answers = {MessageAnswer::No};  // the update question
  app_ = start({"--advanced"});
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages[0].text, "Would you like to check for Updates?");
  window()->resize(480, 360);
  ShotView* view = Application::ActiveView();
  ASSERT_TRUE(QTest::qWaitFor([&] { return commands()->introDialog() && commands()->introDialog()->isVisible(); }, 5000));
  IntroDialog* intro = commands()->introDialog();
  ASSERT_TRUE(activate(intro));
  QTest::keyClick(intro, Qt::Key_Escape);
  ASSERT_NE(window()->menuWidget(), nullptr) << "Escape starts as Start does";

  // Edit ▸ Preferences by the menus' mnemonics; Escape puts it away.
  ASSERT_TRUE(activate(window()));
  QTest::keyClick(window()->menuBar(), Qt::Key_E, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, 2000));
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_P);
  QPointer<SettingsDialog> settings = commands()->settingsDialog();
  ASSERT_FALSE(settings.isNull());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
  QTest::keyClick(settings, Qt::Key_Escape);
  EXPECT_FALSE(settings && settings->isVisible());
  EXPECT_EQ(commands()->settingsDialog(), nullptr);
  ASSERT_TRUE(activate(window()));
  QTest::keyClick(window(), Qt::Key_Comma, Qt::ControlModifier);
  ASSERT_NE(commands()->settingsDialog(), nullptr) << "Preferences opens again";
  QTest::keyClick(commands()->settingsDialog(), Qt::Key_Escape);
  EXPECT_EQ(commands()->settingsDialog(), nullptr);

  // The panel by its key; Tab to the first value, type, Enter.
  ASSERT_TRUE(activate(window()));
  QTest::keyClick(window(), Qt::Key_F4);
  ControlPanel* panel = view->controlPanel();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
  // The panel's own focus chain, as Tab walks it.
  auto focused = [panel]() -> QWidget* { return panel->focusWidget() ? panel->focusWidget() : panel; };
  auto tabTo = [panel, focused](int controlId) {
    for (int i = 0; i < 80 && focused() != panel->control(controlId); ++i) QTest::keyClick(focused(), Qt::Key_Tab);
    return focused() == panel->control(controlId);
  };
  ASSERT_TRUE(tabTo(id::kPanelEdit1));
  const long long drawn = view->framesDrawn();
  QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(focused(), "45");
  QTest::keyClick(focused(), Qt::Key_Return);
  ASSERT_EQ(view->controlPanel(), panel) << "Enter keeps the panel";
  EXPECT_EQ(view->scene().rotation[0], 45.0f);
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->framesDrawn() > drawn; }, 2000)) << "the shot turns on screen";

  // A key at the timeline's end (a key at frame 0 only moves the start).
  ASSERT_TRUE(tabTo(id::kPanelTimeline));
  QTest::keyClick(focused(), Qt::Key_End);
  ASSERT_TRUE(tabTo(id::kPanelAddKey));
  QTest::keyClick(focused(), Qt::Key_Return);
  EXPECT_EQ(view->scene().keyCount, 1);
  EXPECT_EQ(view->controlPanel(), panel);

  // A screenshot as JPEG.
  const fs::path jpeg = path() / "first.jpg";
  platform_.fileAnswers = {jpeg.string()};
  ASSERT_TRUE(activate(window()));
  QTest::keyClick(window(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(QImageReader::imageFormat(QString::fromStdString(jpeg.string())), "jpeg");
  EXPECT_FALSE(QImage(QString::fromStdString(jpeg.string())).isNull());
}

TEST_F(NoDeadEnds, ThePanelsRadiosAreRadioButtonsToAScreenReader) {
  openPanel();
  for (int radio : {id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelTextureScroll, id::kPanelSpotLight,
                    id::kPanelScale, id::kPanelBook, id::kPanelMug, id::kPanelBox}) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(ctl(radio));
    ASSERT_NE(accessible, nullptr) << radio;
    EXPECT_EQ(accessible->role(), QAccessible::RadioButton) << radio;
  }
  // Their groups are still the handlers' to keep: Pan and Zoom unchecks
  // Rotate, and Lighting with Scale may both show.
  click(id::kPanelRotate);
  click(id::kPanelPanAndZoom);
  EXPECT_FALSE(ctl<QRadioButton>(id::kPanelRotate)->isChecked());
  EXPECT_TRUE(ctl<QRadioButton>(id::kPanelPanAndZoom)->isChecked());
}

TEST_F(NoDeadEnds, ThePanelFollowsTheLoadedShotAndItsToggleAgreeWithTheirBoxes) {
  const fs::path file = path() / "lit box.TSMR";
  auto box = std::make_unique<SceneState>();
  box->productKind = kProductBox;
  box->boxStyle = 3;
  box->lightingMode = 2;
  ASSERT_TRUE(WriteProject(*box, file.string()).ok);
  scene().productKind = kProductBook;
  scene().bookBinding = 2;
  scene().lightingMode = 0;
  openPanel();
  ASSERT_EQ(ctl<QLabel>(id::kPanelImagesLabel)->text(), "Load Book Images");

  platform_.fileAnswers = {file.string()};
  commands()->OnOpenProject();
  ASSERT_EQ(scene().productKind, kProductBox);
  EXPECT_EQ(ctl<QLabel>(id::kPanelImagesLabel)->text(), "Load Box Images");
  EXPECT_EQ(ctl<QPushButton>(id::kPanelSpine)->text(), "Left");
  for (int face : {id::kPanelFront, id::kPanelBack, id::kPanelSpine, id::kPanelRight, id::kPanelTop, id::kPanelBottom}) {
    EXPECT_TRUE(ctl(face)->isVisible()) << face;
  }
  EXPECT_TRUE(ctl(id::kPanelBoxStyle)->isVisible());
  EXPECT_FALSE(ctl(id::kPanelBookStyle)->isVisible());
  EXPECT_EQ(ctl<QComboBox>(id::kPanelBoxStyle)->currentIndex(), 3);
  EXPECT_TRUE(ctl<QRadioButton>(id::kPanelBox)->isChecked());
  EXPECT_FALSE(ctl<QRadioButton>(id::kPanelBook)->isChecked());
  // Right asks for the box's right face: a book's hard back would ask nothing.
  const size_t asked = platform_.fileRequests.size();
  click(id::kPanelRight);
  EXPECT_TRUE(QTest::qWaitFor([&] { return platform_.fileRequests.size() > asked; }, 2000));

  // The lit shot's box is checked, and one click puts the light out.
  ASSERT_TRUE(ctl<QCheckBox>(id::kPanelLighting)->isChecked());
  click(id::kPanelLighting);
  EXPECT_EQ(scene().lightingMode, 0.0f);
  // Light on, then New: the fresh panel's box is clear and one click lights.
  click(id::kPanelLighting);
  ASSERT_EQ(scene().lightingMode, 2.0f);
  trigger(id::kCommandNew);
  ASSERT_FALSE(ctl<QCheckBox>(id::kPanelLighting)->isChecked());
  click(id::kPanelLighting);
  EXPECT_EQ(scene().lightingMode, 2.0f);
  EXPECT_TRUE(ctl<QCheckBox>(id::kPanelLighting)->isChecked());
  // The board from a file: Screen Shot is checked and one click leaves it.
  auto board = std::make_unique<SceneState>();
  board->productKind = kProductScreenShot;
  ASSERT_TRUE(WriteProject(*board, file.string()).ok);
  platform_.fileAnswers = {file.string()};
  commands()->OnOpenProject();
  ASSERT_TRUE(ctl<QCheckBox>(id::kPanelScreenShot)->isChecked());
  EXPECT_EQ(ctl<QLabel>(id::kPanelImagesLabel)->text(), "Load Screen Shot");
  scene().savedProductKind = kProductBox;
  click(id::kPanelScreenShot);
  EXPECT_EQ(scene().productKind, kProductBox);
}

TEST_F(NoDeadEnds, TheClipboardOffersAWholeBmpFileAndAnImage) {
  CapturedFrame frame;
  frame.width = 4;
  frame.height = 2;
  frame.bgr.assign(4 * 2 * 3, 0);
  frame.bgr[0] = 10;  // bottom-left pixel: blue, green, red
  frame.bgr[1] = 20;
  frame.bgr[2] = 30;
  QtPlatform platform;
  platform.setClipboardDib(EncodeDib(frame));
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  const QByteArray bmp = mime->data("image/bmp");
  ASSERT_EQ(bmp.size(), 14 + 40 + 24);
  EXPECT_EQ(bmp.left(2), "BM");
  QImage decoded;
  ASSERT_TRUE(decoded.loadFromData(bmp, "BMP")) << "Qt's own BMP reader takes it";
  EXPECT_EQ(decoded.size(), QSize(4, 2));
  EXPECT_EQ(decoded.pixelColor(0, 1), QColor(30, 20, 10));
  EXPECT_TRUE(mime->hasImage());
}

// A file name that looks like markup is shown as it is: read as rich
// text, "<img src=FIFO>" had Qt open the FIFO and block the window.
TEST_F(NoDeadEnds, AMessageShowsAFileNameAsTextNeverAsMarkup) {
  QtPlatform platform;
  Qt::TextFormat format = Qt::AutoText;
  QString shown;
  std::function<void()> answer = [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      format = box->textFormat();
      shown = box->text();
      box->button(QMessageBox::Ok)->click();
      return;
    }
    QTimer::singleShot(20, answer);
  };
  QTimer::singleShot(20, answer);
  platform.messageBox("Cannot find <img src=\"/tmp/kestrova-fifo\">", "Kestrova", MessageButtons::Ok,
                      MessageIcon::Warning);
  EXPECT_EQ(format, Qt::PlainText);
  EXPECT_EQ(shown, "Cannot find <img src=\"/tmp/kestrova-fifo\">");
}

TEST_F(NoDeadEnds, SaveDialogsTakeTheChosenTypesSuffix) {
  const struct {
    const char* entry;
    const char* suffix;
  } cases[] = {{"PNG Picture (*.png)", "png"},   {"JPEG Picture (*.jpg *.jpeg)", "jpg"},
               {"Export Bitmap (*.*)", "bmp"},   {"All Files (*)", "bmp"},
               {"Export Bitmap (*.bmp)", "bmp"}, {"WebM Video (*.webm)", "webm"}};
  for (const auto& c : cases) EXPECT_EQ(SuffixOfFilter(c.entry, "bmp"), c.suffix) << c.entry;
}

TEST_F(NoDeadEnds, ScreenshotsStartInTheUsersFoldersAndJpegNamesWriteJpeg) {
  fs::create_directory(path() / "shots");
  const fs::path first = path() / "shots" / "shot.JPEG";
  platform_.fileAnswers = {first.string(), (path() / "shots" / "second.png").string()};
  trigger(id::kCommandSaveScreenshot);
  ASSERT_EQ(platform_.fileRequests.size(), 1u);
  const std::string start = platform_.fileRequests[0].initialDirectory;
  EXPECT_FALSE(start.empty());
  EXPECT_EQ(start.find(path().string()), std::string::npos) << "never the program's folders: " << start;
  EXPECT_NE(platform_.fileRequests[0].filter.find("*.jpg"), std::string::npos);
  EXPECT_EQ(QImageReader::imageFormat(QString::fromStdString(first.string())), "jpeg");
  trigger(id::kCommandSaveScreenshot);
  ASSERT_EQ(platform_.fileRequests.size(), 2u);
  EXPECT_EQ(platform_.fileRequests[1].initialDirectory, (path() / "shots").string()) << "the last folder used";
  EXPECT_EQ(QImageReader::imageFormat(QString::fromStdString((path() / "shots" / "second.png").string())), "png");
}

TEST_F(NoDeadEnds, TheHintComesBackAfterAStatusTipAndAboutAnswersF10) {
  commands()->introDialog()->OnStart();
  const QString hint = window()->statusBar()->currentMessage();
  ASSERT_TRUE(hint.startsWith("Left Click on the box shot"));
  QWidget* button = window()->toolBar()->widgetForAction(window()->action(id::kCommandSaveScreenshot));
  QStatusTipEvent enter("Save a Screenshot");
  QApplication::sendEvent(button, &enter);
  EXPECT_EQ(window()->statusBar()->currentMessage(), "Save a Screenshot");
  QStatusTipEvent leave("");
  QApplication::sendEvent(button, &leave);
  EXPECT_EQ(window()->statusBar()->currentMessage(), hint);

  bool aboutOpened = false;
  ASSERT_TRUE(activate(window()));
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    aboutOpened = about != nullptr;
    if (about) about->accept();
  });
  QTest::keyClick(window(), Qt::Key_F10);
  EXPECT_TRUE(aboutOpened);
  for (QAction* menu : window()->menuBar()->actions()) {
    for (QAction* item : menu->menu()->actions()) EXPECT_FALSE(item->text().contains('\t')) << item->text().toStdString();
  }
}

TEST_F(NoDeadEnds, AnOpeningPanelLeavesTheShotInViewWhereTheScreenHasRoom) {
  window()->move(20, 20);
  window()->resize(700, 500);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window()->size() == QSize(700, 500); }, 2000));
  ControlPanel* panel = openPanel();
  const QRect shot(view_->mapToGlobal(QPoint(0, 0)), view_->size());
  EXPECT_FALSE(panel->frameGeometry().intersects(shot)) << "the panel covers the shot";
  EXPECT_TRUE(panel->screen()->availableGeometry().contains(panel->frameGeometry()));
}

namespace {

// How many pixels of the frame lean to red, and how many to blue.
std::pair<int, int> redAndBlue(const RgbaImage& frame) {
  int red = 0, blue = 0;
  for (size_t i = 0; i < frame.pixels.size(); i += 4) {
    const uint8_t* p = &frame.pixels[i];
    red += p[0] > p[2] + 80;
    blue += p[2] > p[0] + 80;
  }
  return {red, blue};
}

void savePicture(const fs::path& path, QColor colour, bool truncated = false) {
  QImage picture(64, 64, QImage::Format_RGB32);
  picture.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  if (truncated) bytes.truncate(bytes.size() / 2);
  // As editors save: beside, then renamed over the old file.
  const fs::path beside = path.string() + ".saving";
  std::ofstream(beside, std::ios::binary).write(bytes.constData(), bytes.size());
  fs::rename(beside, path);
}

}  // namespace

TEST_F(NoDeadEnds, AFaceFileSavedAgainShowsAtOnceAndAHalfWrittenOneIsIgnored) {
  const fs::path face = path() / "cover.png";
  savePicture(face, QColor(230, 20, 20));
  scene().productKind = kProductBox;
  scene().rotation = {0, 0, 0};
  platform_.fileAnswers = {face.string()};
  scene().boxFrontLoadRequest = 2;
  view_->requestFrame();
  auto leans = [&](bool toRed) {
    const auto [red, blue] = redAndBlue(view_->captureFrame());
    return toRed ? red > 1000 && blue < 100 : blue > 1000 && red < 100;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return leans(true); }, 3000)) << "the red cover was loaded";
  const Vec3 pose = scene().rotation;
  savePicture(face, QColor(20, 20, 230));
  EXPECT_TRUE(QTest::qWaitFor([&] { return leans(false); }, 2000)) << "the saved blue cover shows";
  EXPECT_EQ(scene().rotation, pose) << "the pose stays";
  savePicture(face, QColor(230, 20, 20), true);
  QTest::qWait(700);
  EXPECT_TRUE(leans(false)) << "a half-written file keeps the last good picture";
  savePicture(face, QColor(230, 20, 20));
  EXPECT_TRUE(QTest::qWaitFor([&] { return leans(true); }, 2000)) << "and the next good save shows";
}

TEST_F(NoDeadEnds, AProjectSavedAgainByAnotherProgramOpensAgain) {
  const fs::path file = path() / "shot.TSMR";
  auto write = [&file](Vec3 rotation) {
    auto shot = std::make_unique<SceneState>();
    shot->productKind = kProductBox;
    shot->rotation = rotation;
    const fs::path beside = file.string() + ".saving";
    ASSERT_TRUE(WriteProject(*shot, beside.string()).ok);
    fs::rename(beside, file);
  };
  write({10, 20, 0});
  platform_.fileAnswers = {file.string()};
  commands()->OnOpenProject();
  ASSERT_EQ(scene().rotation, (Vec3{10, 20, 0}));
  write({40, 50, 0});
  EXPECT_TRUE(QTest::qWaitFor([&] { return scene().rotation == Vec3{40, 50, 0}; }, 3000)) << "opened again";
  // The program's own save of it is no change.
  scene().rotation = {70, 80, 0};
  platform_.fileAnswers = {file.string()};
  commands()->OnSaveProject();
  const size_t messages = platform_.messages.size();
  scene().rotation = {1, 2, 3};
  QTest::qWait(600);
  EXPECT_EQ(scene().rotation, (Vec3{1, 2, 3})) << "not opened again after its own save";
  EXPECT_EQ(platform_.messages.size(), messages);

  // Saved under another name, the shot is that file's: an outside save of
  // the old one leaves it, one of the new one opens again.
  const fs::path other = path() / "other.TSMR";
  platform_.fileAnswers = {other.string()};
  commands()->OnSaveProject();
  scene().rotation = {4, 5, 6};
  write({11, 12, 0});
  QTest::qWait(600);
  EXPECT_EQ(scene().rotation, (Vec3{4, 5, 6})) << "the old file's save replaced the shot saved as another";
  {
    auto shot = std::make_unique<SceneState>();
    shot->productKind = kProductBox;
    shot->rotation = {21, 22, 0};
    ASSERT_TRUE(WriteProject(*shot, other.string() + ".saving").ok);
    fs::rename(other.string() + ".saving", other);
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return scene().rotation == Vec3{21, 22, 0}; }, 3000)) << "the new file is watched";
  // A new shot comes from no file.
  commands()->OnFileNew();
  scene().rotation = {7, 8, 9};
  {
    auto shot = std::make_unique<SceneState>();
    shot->rotation = {31, 32, 0};
    ASSERT_TRUE(WriteProject(*shot, other.string() + ".saving").ok);
    fs::rename(other.string() + ".saving", other);
  }
  QTest::qWait(600);
  EXPECT_EQ(scene().rotation, (Vec3{7, 8, 9})) << "an outside save replaced a new shot";
}

TEST_F(NoDeadEnds, CheckArtworkListsEveryFaceForTheWindowAndTheExportSize) {
  commands()->introDialog()->OnStart();  // the menus come with the start
  QAction* check = nullptr;
  for (QAction* menu : window()->menuBar()->actions()) {
    if (menu->text() != "&File") continue;
    for (QAction* item : menu->menu()->actions()) {
      if (item->text() == "Chec&k Artwork...") check = item;
    }
  }
  ASSERT_NE(check, nullptr) << "File > Check Artwork...";
  scene().rotation = {10, 25, 0};
  check->trigger();
  ArtworkCheckDialog* dialog = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (auto* found = qobject_cast<ArtworkCheckDialog*>(top); found && found->isVisible()) dialog = found;
  }
  ASSERT_NE(dialog, nullptr);
  QTableWidget* window = dialog->table(0);
  QTableWidget* exported = dialog->table(1);
  ASSERT_TRUE(window && exported);
  ASSERT_GT(window->rowCount(), 0) << "every face of the product shown";
  ASSERT_EQ(exported->rowCount(), window->rowCount());
  EXPECT_FALSE(window->accessibleName().isEmpty());
  const qreal ratio = view_->devicePixelRatioF();
  const double windowHeight = view_->height() * ratio;
  const double exportHeight = SettingsDialog::VideoSize(commands()->videoFormat()).height();
  for (int row = 0; row < window->rowCount(); ++row) {
    EXPECT_EQ(window->item(row, 0)->text(), exported->item(row, 0)->text());
    // The lens is fixed in height: a face is shown in proportion to the
    // picture's height, whatever its width.
    const double inWindow = window->item(row, 3)->text().section(" x ", 1, 1).toDouble();
    const double inExport = exported->item(row, 3)->text().section(" x ", 1, 1).toDouble();
    EXPECT_NEAR(inExport / inWindow, exportHeight / windowHeight, 0.02) << row;
  }
  dialog->close();
}

TEST_F(NoDeadEnds, ADrawingShownLargerThanItsTextureIsDrawnAgainAtTheViewsSize) {
  const fs::path svg = path() / "cover.svg";
  std::ofstream(svg) << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"80\" height=\"100\">"
                        "<rect width=\"80\" height=\"100\" fill=\"#2040c0\"/></svg>";
  scene().productKind = kProductBox;
  scene().rotation = {0, 0, 0};
  platform_.fileAnswers = {svg.string()};
  scene().boxFrontLoadRequest = 2;
  view_->requestFrame();
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene().artwork[kSlotBoxFront].path == svg.string(); }, 5000));
  EXPECT_EQ(scene().artwork[kSlotBoxFront].textureHeight, 2048);
  // Close up, the front is shown far taller than 2048 pixels.
  scene().pan = {0, 0, 91};
  window()->resize(window()->width() + 40, window()->height() + 20);
  EXPECT_TRUE(QTest::qWaitFor([&] { return scene().artwork[kSlotBoxFront].textureHeight > 2048; }, 5000))
      << scene().artwork[kSlotBoxFront].textureHeight;
}

TEST_F(NoDeadEnds, ExportThreeDModelWritesAGlbOrUsdzFromTheFileMenu) {
  QAction* action = window()->findChild<QAction*>("Export3DModel");
  auto fileBytes = [](const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  };
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text().toStdString(), "Export 3D &Model...");
  const fs::path glb = path() / "product.glb";
  const fs::path usdz = path() / "product.usdz";
  // A name of another kind is asked again, then each kind is written.
  platform_.fileAnswers = {(path() / "product.obj").string(), glb.string()};
  action->trigger();
  ASSERT_TRUE(fs::exists(glb)) << "written";
  ASSERT_FALSE(platform_.fileRequests.empty());
  const std::string start = platform_.fileRequests.front().initialDirectory;
  EXPECT_FALSE(start.empty());
  EXPECT_EQ(start.find(path().string()), std::string::npos) << "never the program's folder: " << start;
  const std::vector<uint8_t> bytes = fileBytes(glb);
  ASSERT_GT(bytes.size(), 12u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "glTF");
  EXPECT_EQ(platform_.fileRequests.back().title, "Export 3D Model");
  platform_.fileAnswers = {usdz.string()};
  action->trigger();
  EXPECT_EQ(platform_.fileRequests.back().initialDirectory, path().string()) << "the last folder used";
  const std::vector<uint8_t> zip = fileBytes(usdz);
  ASSERT_GT(zip.size(), 4u);
  EXPECT_EQ(zip[0], 'P');
  EXPECT_EQ(zip[1], 'K');
}

// File > Export Print Template... writes the product's template as PDF or
// SVG where the user says, a name of another kind asked again.
TEST_F(NoDeadEnds, ExportPrintTemplateWritesAPdfOrSvgFromTheFileMenu) {
  QAction* action = window()->findChild<QAction*>("ExportPrintTemplate");
  ASSERT_NE(action, nullptr);
  EXPECT_FALSE(action->statusTip().isEmpty());
  const fs::path pdf = path() / "box.pdf";
  const fs::path svg = path() / "box.svg";
  platform_.fileAnswers = {(path() / "box.png").string(), pdf.string()};
  action->trigger();
  ASSERT_TRUE(fs::exists(pdf)) << "written";
  EXPECT_EQ(platform_.fileRequests.back().title, "Export Print Template");
  std::ifstream in(pdf, std::ios::binary);
  std::string head(5, '\0');
  in.read(head.data(), 5);
  EXPECT_EQ(head, "%PDF-");
  platform_.fileAnswers = {svg.string()};
  action->trigger();
  std::ifstream text(svg);
  const std::string svgText((std::istreambuf_iterator<char>(text)), {});
  EXPECT_NE(svgText.find("inkscape:label=\"CutContour\""), std::string::npos);
}

// File > Load Full Cover... cuts the template the window wrote (a PDF, bleed
// and all) into the faces; a picture of other proportions is refused with
// the size it should have, the faces left as they were.
TEST_F(NoDeadEnds, LoadFullCoverCutsATemplateIntoTheFacesAndRefusesAWrongSize) {
  // The faces go to the data folder the desktop names.
  const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString((path() / "data").string()));
  struct PutBack {
    QByteArray value;
    ~PutBack() { value.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", value); }
  } putBack{dataHome};
  const fs::path pdf = path() / "cover.pdf";
  platform_.fileAnswers = {pdf.string()};
  window()->findChild<QAction*>("ExportPrintTemplate")->trigger();
  ASSERT_TRUE(fs::exists(pdf));
  QAction* load = window()->findChild<QAction*>("LoadFullCover");
  ASSERT_NE(load, nullptr);
  EXPECT_FALSE(load->statusTip().isEmpty());
  const fs::path square = path() / "square.png";
  QImage(200, 200, QImage::Format_RGB32).save(QString::fromStdString(square.string()));
  const std::string before = scene().artwork[kSlotBoxFront].path;
  platform_.messages.clear();
  platform_.fileAnswers = {square.string()};
  load->trigger();
  ASSERT_FALSE(platform_.messages.empty()) << "a wrong size said nothing";
  EXPECT_NE(platform_.messages.back().text.find("should be"), std::string::npos) << platform_.messages.back().text;
  EXPECT_EQ(scene().artwork[kSlotBoxFront].path, before) << "a refused cover changed a face";
  platform_.messages.clear();
  platform_.fileAnswers = {pdf.string()};
  load->trigger();
  EXPECT_TRUE(platform_.messages.empty()) << platform_.messages.front().text;
  const std::string front = scene().artwork[kSlotBoxFront].path;
  EXPECT_NE(front, before);
  EXPECT_TRUE(fs::exists(front)) << "the face cut from the cover is kept";
  EXPECT_EQ(fs::path(front).parent_path().parent_path(), path() / "data" / "kestrova" / "covers");
  // Each load keeps its own faces: a second load and a refused third leave
  // the first's where the first left them.
  platform_.fileAnswers = {pdf.string()};
  load->trigger();
  const std::string again = scene().artwork[kSlotBoxFront].path;
  EXPECT_NE(fs::path(again).parent_path(), fs::path(front).parent_path()) << "a folder of its own";
  platform_.fileAnswers = {square.string()};
  load->trigger();
  EXPECT_TRUE(fs::exists(front)) << "the first load's faces";
  EXPECT_TRUE(fs::exists(again)) << "the faces the shot shows";
  EXPECT_EQ(scene().artwork[kSlotBoxFront].path, again);
}

// View > Studio Look and Studio Floor are check items that tell assistive
// technology whether they are on.
TEST_F(NoDeadEnds, TheStudioMenuItemsSayTheirStateToAssistiveTechnology) {
  window()->showMenusAndToolbar();
  QMenu* view = nullptr;
  for (QAction* menu : window()->menuBar()->actions()) {
    if (menu->text() == "&View") view = menu->menu();
  }
  ASSERT_NE(view, nullptr);
  for (const char* name : {"StudioLook", "StudioFloor"}) {
    SCOPED_TRACE(name);
    QAction* action = window()->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr);
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(menu, nullptr);
    auto item = [&]() -> QAccessibleInterface* {
      for (int i = 0; i < menu->childCount(); ++i) {
        QAccessibleInterface* child = menu->child(i);
        if (child && child->text(QAccessible::Name) == action->text().remove('&')) return child;
      }
      return nullptr;
    };
    ASSERT_NE(item(), nullptr) << "in the View menu";
    EXPECT_TRUE(item()->state().checkable);
    for (const bool on : {true, false}) {
      action->setChecked(on);
      EXPECT_EQ(static_cast<bool>(item()->state().checked), on);
    }
  }
}
