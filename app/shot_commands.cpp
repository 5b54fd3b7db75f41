#include "shot_commands.h"

#include "app/artwork_check_dialog.h"
#include "app/qt_platform.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QDateTime>
#include <QImage>
#include <QProgressDialog>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "animation/keyframes.h"
#include "application.h"
#include "export_animation_dialog.h"
#include "export_image_dialog.h"
#include "formats/png_writer.h"
#include "face_watcher.h"
#include "formats/bmp_export.h"
#include "formats/file_names.h"
#include "formats/file_replace.h"
#include "formats/video_writer.h"
#include "window_host.h"
#include "panel/control_panel.h"
#include "platform.h"
#include "pictures/picture.h"
#include "render/export_image.h"
#include "render/classic/render_frame.h"
#include "render/scene_initialiser.h"
#include "render/studio/studio_setup.h"
#include "render/texture_loader.h"
#include "settings_dialog.h"
#include "shot/new_shot.h"
#include "shot/program_folder.h"
#include "shot/project_io.h"
#include "render/cover_cut.h"
#include "render/print_export.h"
#include "render/shop_files.h"
#include "shot/update_check.h"
#include "shot_view.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace {

// The wait cursor for as long as this lives, on every path out.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

kestrova::FileDialogRequest projectSaveDialog(const char* title, const char* filter) {
  kestrova::FileDialogRequest request;
  request.title = title;
  request.filter = filter;
  request.defaultExtension = "TSMR";
  request.initialName = "*.TSMR";
  request.confirmOverwrite = true;
  return request;
}

// Beside the main window where the screen has room, else over its right edge:
// the sample it plays stays in view.
void placeBeside(QWidget* dialog, QWidget* mainWindow) {
  const QRect main = mainWindow->frameGeometry();
  const QRect screen = mainWindow->screen() ? mainWindow->screen()->availableGeometry() : QRect();
  QPoint at(main.right() + 8, main.top() + 40);
  if (screen.isValid() && at.x() + dialog->width() > screen.right()) {
    at.setX(std::max(screen.left(), main.right() - dialog->width() - 16));
  }
  dialog->move(at);
}

// PNG or JPEG bytes of a captured frame (bottom-up BGR), top row first.
std::vector<uint8_t> encodePicture(const kestrova::CapturedFrame& frame, const char* format) {
  const QImage image =
      QImage(frame.bgr.data(), frame.width, frame.height, frame.width * 3, QImage::Format_BGR888).mirrored();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (frame.width <= 0 || !image.save(&buffer, format, std::string(format) == "JPEG" ? 92 : -1)) return {};
  return {bytes.begin(), bytes.end()};
}

}  // namespace

ShotCommands::ShotCommands(Application& app, ShotView& view, WindowHost& window)
    : QObject(&view), app_(app), view_(view), window_(window) {
  view_.scene().look.studio = app_.studioLook();
  view_.scene().studioFloor = app_.studioFloor();
  if (view_.scene().look.studio) view_.scene().studioFloor.shadow = true;
  faceWatcher_ = new FaceWatcher(this);
  connect(faceWatcher_, &FaceWatcher::faceChanged, this, &ShotCommands::reloadFace);
  // A project saved again by another program is opened again.
  connect(faceWatcher_, &FaceWatcher::projectChanged, this,
          [this](const QString& path) { loadProject(path.toStdString()); });
  kestrova::ObserveTextureLoads([this](const kestrova::SceneState& shot, int slot, const std::string& path) {
    if (&shot == &view_.scene()) faceWatcher_->watch(slot, QString::fromStdString(path));
  });
  askForUpdates();
  connect(&view_, &ShotView::introWanted, this, &ShotCommands::createIntroDialog);
  connect(&view_, &ShotView::sampleEnded, this, [this] {
    if (introDialog_) introDialog_->enableStart();
  });
  connect(&view_, &ShotView::projectDropped, this,
          [this](const QString& path) { loadProject(path.toStdString()); });
}

ShotCommands::~ShotCommands() { kestrova::ObserveTextureLoads(nullptr); }

void ShotCommands::reloadFace(int slot, const QString& path) {
  kestrova::SceneState& shot = scene();
  if (slot < 0 || slot >= kestrova::kTextureSlotCount) return;
  view_.makeCurrent();
  // The full name, whatever the shot's own names are relative to.
  const float absolute = shot.imagePathIsAbsolute;
  shot.imagePathIsAbsolute = 2;
  std::string why;
  const bool loaded =
      kestrova::LoadTexture(shot, path.toStdString(), shot.textureSlot[static_cast<size_t>(slot)], &why);
  shot.imagePathIsAbsolute = absolute;
  view_.doneCurrent();
  if (loaded) view_.requestFrame();
}

kestrova::SceneState& ShotCommands::scene() { return view_.scene(); }

ControlPanel* ShotCommands::controlPanel() const { return view_.controlPanel(); }

SettingsDialog* ShotCommands::settingsDialog() const { return settingsDialog_; }

IntroDialog* ShotCommands::introDialog() const { return introDialog_; }

void ShotCommands::showError(const std::string& text) {
  app_.platform().messageBox(text, "Error", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Stop);
}

// ---- Updates ----

void ShotCommands::askForUpdates() {
  const auto answer =
      app_.platform().messageBox("Would you like to check for Updates?", "Kestrova",
                                 kestrova::MessageButtons::YesNo, kestrova::MessageIcon::Question);
  if (answer == kestrova::MessageAnswer::Yes) runUpdateCheck();
}

void ShotCommands::runUpdateCheck() {
  const auto result = kestrova::CheckForUpdates(app_.updateScriptUrl(), KESTROVA_VERSION);
  app_.platform().messageBox(result.message, "Kestrova", kestrova::MessageButtons::Ok,
                             result.status == kestrova::UpdateCheckResult::Status::Unreachable
                                 ? kestrova::MessageIcon::Warning
                                 : kestrova::MessageIcon::Information);
}

void ShotCommands::OnCheckForUpdates() { runUpdateCheck(); }

// ---- The introduction ----

void ShotCommands::createIntroDialog() {
  if (introDialog_) return;
  // Made now, so this very frame can enable its Start; shown (or, when the
  // user skips the intro, started at once) right after the frame.
  introDialog_ = new IntroDialog(app_, *this, view_.window());
  scene().introDialog = introDialog_;
  QTimer::singleShot(0, this, [this] {
    if (!introDialog_ || introDialog_->started()) return;
    if (app_.introSkipped()) {
      introDialog_->enableStart();
      introDialog_->OnStart();
      if (!app_.openAtStart().isEmpty()) loadProject(app_.openAtStart().toStdString());
      return;
    }
    placeBeside(introDialog_, view_.window());
    introDialog_->show();
  });
}

void ShotCommands::playSample(int index) {
  QDir::setCurrent(QString::fromStdString(scene().programFolder));
  // The samples play on quietly, as they always have.
  loadProject(kestrova::SequencePath(scene(), index, app_.userSequencesFolder().toStdString()), true);
}

void ShotCommands::startShot() {
  window_.showMenusAndToolbar();
  window_.setRestingStatusText(
      "Left Click on the box shot to move it around. Click the Book Icon to open the control dialog.");
  OnFileNew();
}

// ---- The control panel ----

QPoint ShotCommands::panelPlace(const ControlPanel& panel) const {
  if (panelPosition_) return *panelPosition_;
  QWidget* main = view_.window();
  const QRect window = main->frameGeometry();
  const QRect screen = main->screen() ? main->screen()->availableGeometry() : QRect();
  const QSize size = panel.frameGeometry().size().expandedTo(panel.size());
  if (screen.isValid()) {
    if (window.bottom() + 8 + size.height() <= screen.bottom()) {
      return {std::clamp(window.left(), screen.left(), std::max(screen.left(), screen.right() - size.width())),
              window.bottom() + 8};
    }
    if (window.right() + 8 + size.width() <= screen.right()) {
      return {window.right() + 8, std::clamp(window.top(), screen.top(), std::max(screen.top(), screen.bottom() - size.height()))};
    }
  }
  // No room beside or below: where the dialog template puts it, over the window.
  return main->mapToGlobal(panel.dialogUnits(60, 280));
}

void ShotCommands::OnControlPanel() {
  kestrova::SceneState& shot = scene();
  if (shot.controlPanel) return;
  auto* panel = new ControlPanel(shot, *this, app_.advancedControls(), view_.window());
  panel->setAttribute(Qt::WA_DeleteOnClose);
  shot.controlPanel = panel;
  panel->move(panelPlace(*panel));
  panel->show();
}

void ShotCommands::panelClosing() {
  kestrova::SceneState& shot = scene();
  if (shot.controlPanel) panelPosition_ = shot.controlPanel->pos();
  shot.controlPanel = nullptr;
}

void ShotCommands::setStatusText(const std::string& text) {
  window_.showStatusText(QString::fromStdString(text));
}

void ShotCommands::showPanelMessage(const std::string& text) {
  app_.platform().messageBox(text, "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
}

void ShotCommands::openWebLink(const std::string& url) {
  // A link comes from a project file someone else may have made: only web
  // addresses go to the desktop, never a program or a local file.
  if (!kestrova::IsWebAddress(url)) {
    app_.platform().messageBox(
        "The link \"" + url + "\" was not opened: Kestrova opens only web addresses (http or https).", "Kestrova",
        kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
    return;
  }
  app_.platform().openUrl(url);
}

void ShotCommands::seekToFrame() { view_.SeekToFrame(); }

void ShotCommands::sceneChanged() { view_.requestFrame(); }

// ---- Projects and presets ----

kestrova::WebPictures ShotCommands::askBeforeFetching() {
  kestrova::WebPictures web;
  web.ask = [this](const std::vector<std::string>& hosts) {
    std::string list;
    for (const std::string& host : hosts) list += (list.empty() ? "" : ", ") + host;
    return app_.platform().messageBox("This project loads pictures from the web: " + list + ". Load them?",
                                      "Kestrova", kestrova::MessageButtons::YesNo,
                                      kestrova::MessageIcon::Question) == kestrova::MessageAnswer::Yes;
  };
  return web;
}

void ShotCommands::loadProject(const std::string& path, bool quietFaces) {
  const kestrova::WebPictures web = askBeforeFetching();
  view_.makeCurrent();
  const kestrova::ProjectResult loaded = kestrova::ReadProject(scene(), path, scene().controlPanel, &web);
  // The user's own projects are watched; the samples the intro plays are not.
  if (loaded.ok && !quietFaces) faceWatcher_->watchProject(QFileInfo(QString::fromStdString(path)).absoluteFilePath());
  finishLoad(loaded, quietFaces, QFileInfo(QString::fromStdString(path)).absolutePath().toStdString());
}

void ShotCommands::finishLoad(const kestrova::ProjectResult& loaded, bool quietFaces, const std::string& projectFolder) {
  view_.doneCurrent();
  if (!loaded.ok) {
    showError(loaded.error);
    return;
  }
  if (!loaded.faceErrors.empty() && !quietFaces) {
    std::string text =
        "The project was opened, but these pictures could not be loaded; their faces keep the "
        "pictures they had:\n";
    for (const std::string& face : loaded.faceErrors) text += "\n" + face;
    app_.platform().messageBox(text, "Warning", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
    if (!projectFolder.empty()) lookForMissingFaces(loaded, projectFolder);
  }
  // The panel shows the product the file brought, as when it opens.
  if (ControlPanel* panel = scene().controlPanel) panel->followShot();
  view_.requestFrame();
}

void ShotCommands::lookForMissingFaces(const kestrova::ProjectResult& loaded, const std::string& projectFolder) {
  for (const kestrova::ProjectResult::MissingFace& face : loaded.missingFaces) {
    if (kestrova::IsWebPictureName(face.name)) continue;
    const std::string file = std::filesystem::path(face.name).filename().string();
    const kestrova::MessageAnswer answer = app_.platform().messageBox(
        "Kestrova could not find \"" + face.name + "\". Look for " + file + "?", "Kestrova",
        kestrova::MessageButtons::YesNo, kestrova::MessageIcon::Question);
    if (answer != kestrova::MessageAnswer::Yes) continue;
    kestrova::FileDialogRequest request;
    request.title = "Where is " + file + "?";
    request.filter = kestrova::kImageFilter;
    request.initialDirectory = projectFolder;
    request.initialName = file;
    request.fileMustExist = true;
    const auto found = app_.platform().openFileName(request);
    if (!found) continue;
    kestrova::SceneState& shot = scene();
    view_.makeCurrent();
    const float absolute = shot.imagePathIsAbsolute;
    shot.imagePathIsAbsolute = 2;
    std::string why;
    const bool ok = kestrova::LoadTexture(shot, *found, shot.textureSlot[face.slot], &why);
    shot.imagePathIsAbsolute = absolute;
    view_.doneCurrent();
    if (!ok) {
      showError("Kestrova could not use " + *found + ": " + why);
      continue;
    }
    // The next save names the picture found, where it is.
    for (size_t i = 0; i < shot.textureName.size(); ++i) {
      if (shot.textureName[i] == face.name) shot.textureName[i] = *found;
    }
  }
}

void ShotCommands::OnOpenProject() {
  kestrova::FileDialogRequest request;
  request.title = "Open a Kestrova File";
  request.filter = "Tessmere Files(*.TSMR)|*.TSMR||";
  request.fileMustExist = true;
  const auto path = app_.platform().openFileName(request);
  if (path) loadProject(*path);
}

void ShotCommands::OnSaveProject() {
  const auto path = app_.platform().saveFileName(projectSaveDialog(
      "Save a Tessmere File", "Quillane Keyframe Files (*.TSMR) | *.TSMR | All Files (*.*) | *.*||"));
  if (!path) return;
  const kestrova::ProjectResult saved = kestrova::WriteProject(scene(), *path);
  if (!saved.ok) {
    showError(saved.error);
    return;
  }
  // The shot is now this file's: an outside save of the one it came from
  // no longer replaces it.
  faceWatcher_->watchProject(QFileInfo(QString::fromStdString(*path)).absoluteFilePath());
}

void ShotCommands::loadPreset(int index) {
  view_.makeCurrent();
  const kestrova::WebPictures web = askBeforeFetching();
  finishLoad(kestrova::LoadPreset(scene(), index, scene().controlPanel, app_.userSequencesFolder().toStdString(),
                                  &web));
}

void ShotCommands::addToPresets() {
  kestrova::FileDialogRequest request = projectSaveDialog(
      "Save a Dolvane Keyframe File", "Dolvane Files (*.TSMR) | *.TSMR | All Files (*.*) | *.*||");
  // An installed program's own folder is read-only: the user's presets live
  // in their data folder and are listed with the samples.
  const QString userSequences = app_.userSequencesFolder();
  if (!userSequences.isEmpty()) QDir().mkpath(userSequences);
  request.initialDirectory =
      userSequences.isEmpty() ? scene().programFolder + "/Sequences" : userSequences.toStdString();
  const auto path = app_.platform().saveFileName(request);
  if (!path) return;
  const kestrova::ProjectResult saved = kestrova::WriteProject(scene(), *path);
  if (!saved.ok) {
    showError(saved.error);
    return;
  }
  kestrova::ListSequences(scene().programFolder, scene(), userSequences.toStdString());
  // The listing leaves the Sequences folder current; images are named from
  // the program folder.
  QDir::setCurrent(QString::fromStdString(scene().programFolder));
  // The combo's rows are the listing's indices: it must hold the new order.
  if (ControlPanel* panel = scene().controlPanel) panel->refillPresets();
}

// ---- Pictures out: screenshot, clipboard ----

kestrova::CapturedFrame ShotCommands::captureForExport(bool focusPanel) {
  if (ControlPanel* panel = scene().controlPanel) {
    if (focusPanel) panel->setFocus();
    panel->hide();
  }
  WaitCursor wait;
  return kestrova::CaptureFromRgba(view_.captureFrame());
}

void ShotCommands::showPanelAgain() {
  if (scene().controlPanel) scene().controlPanel->show();
}

std::optional<std::string> ShotCommands::exportName(const std::string& title, const std::string& filter,
                                                    const std::string& extension,
                                                    const std::vector<std::string>& endings, const std::string& kinds) {
  kestrova::FileDialogRequest request;
  request.title = title;
  request.filter = filter;
  request.defaultExtension = extension;
  request.confirmOverwrite = true;
  request.initialDirectory = exportFolder();
  const auto path = saveNameOfType(request, endings, kinds);
  if (path) screenshotFolder_ = QFileInfo(QString::fromStdString(*path)).absolutePath();
  return path;
}

std::optional<std::string> ShotCommands::saveNameOfType(kestrova::FileDialogRequest request,
                                                        const std::vector<std::string>& endings,
                                                        const std::string& what) {
  for (;;) {
    const auto path = app_.platform().saveFileName(request);
    if (!path || path->empty()) return std::nullopt;
    for (const std::string& ending : endings) {
      if (kestrova::EndsWithIgnoringCase(*path, ending.c_str())) return path;
    }
    // A name the program cannot write as what it says: ask again rather
    // than write another kind of file under it.
    std::string list;
    for (size_t i = 0; i < endings.size(); ++i) list += (i ? (i + 1 == endings.size() ? " or " : ", ") : "") + endings[i];
    app_.platform().messageBox("Kestrova writes " + what + " as " + list + ", not as \"" +
                                   std::filesystem::path(*path).filename().string() +
                                   "\". Choose a name with one of these endings.",
                               "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Information);
    request.initialName = std::filesystem::path(*path).stem().string() + endings.front();
    request.initialDirectory = std::filesystem::path(*path).parent_path().string();
  }
}

// Where every export's file chooser starts: the folder the last export
// went to, else the user's pictures, never the program's own folder (the
// current one, after start-up).
std::string ShotCommands::exportFolder() const {
  QString folder = screenshotFolder_;
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return folder.toStdString();
}

void ShotCommands::OnFileSaveScreenshot() {
  const kestrova::CapturedFrame frame = captureForExport(false);
  kestrova::FileDialogRequest request;
  request.title = "Export Screenshot";
  request.filter =
      "Export Bitmap (*.bmp)|*.*|PNG Picture (*.png)|*.png|JPEG Picture (*.jpg)|*.jpg;*.jpeg|All Files|*.*||";
  request.defaultExtension = "bmp";
  request.confirmOverwrite = true;
  request.initialDirectory = exportFolder();
  const auto path = saveNameOfType(request, {".bmp", ".png", ".jpg", ".jpeg"}, "screenshots");
  if (!path) {
    showPanelAgain();
    return;
  }
  screenshotFolder_ = QFileInfo(QString::fromStdString(*path)).absolutePath();
  std::string error;
  bool written = false;
  {
    WaitCursor wait;
    const bool png = kestrova::EndsWithIgnoringCase(*path, ".png");
    const bool jpeg = kestrova::EndsWithIgnoringCase(*path, ".jpg") || kestrova::EndsWithIgnoringCase(*path, ".jpeg");
    if (png || jpeg) {
      const std::vector<uint8_t> bytes = encodePicture(frame, png ? "PNG" : "JPEG");
      std::string reason = "the picture could not be encoded";
      written = !bytes.empty() && kestrova::ReplaceFile(*path, bytes, &reason);
      if (!written) error = "Kestrova could not write \"" + *path + "\": " + reason;
    } else {
      written = kestrova::WriteBmpFile(*path, frame, &error);
    }
  }
  showPanelAgain();
  if (!written) showError(error);
}

void ShotCommands::OnCopyImage() {
  const kestrova::CapturedFrame frame = captureForExport(true);
  {
    WaitCursor wait;
    app_.platform().setClipboardDib(kestrova::EncodeDib(frame));
  }
  showPanelAgain();
}

// ---- New, help, colour, settings ----

void ShotCommands::OnFileNew() {
  faceWatcher_->forgetProject();
  kestrova::SceneState& shot = scene();
  const bool panelOpen = shot.controlPanel != nullptr;
  if (panelOpen) delete shot.controlPanel;  // its close remembers where it stood
  // The default images are named relative to the program folder.
  QDir::setCurrent(QString::fromStdString(shot.programFolder));
  view_.makeCurrent();
  kestrova::NewShot(shot, panelOpen);
  view_.doneCurrent();
  if (panelOpen) OnControlPanel();
  view_.requestFrame();
}

void ShotCommands::OnHelp() {
  const std::string manual = app_.programFolder().toStdString() + "/Manual/index.html";
  if (!app_.platform().openLocalFile(manual)) {
    app_.platform().messageBox("Kestrova could not start a web browser. The manual is at " + manual + ".",
                               "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Information);
  }
}

void ShotCommands::OnBackgroundColor() {
  kestrova::SceneState& shot = scene();
  const auto chosen = app_.platform().chooseColor(shot.backgroundColorRef);
  if (!chosen) return;
  shot.backgroundColorRef = *chosen;
  shot.backgroundColor = {static_cast<float>(*chosen & 0xFF) / 255.0f,
                          static_cast<float>((*chosen >> 8) & 0xFF) / 255.0f,
                          static_cast<float>((*chosen >> 16) & 0xFF) / 255.0f};
  view_.makeCurrent();
  kestrova::ApplyClearColor(shot);
  view_.doneCurrent();
  view_.requestFrame();
}

void ShotCommands::OnSettings() {
  if (settingsDialog_) return;
  auto* dialog = new SettingsDialog(videoFormat_, app_.playIntro(), app_.studioFloor(), view_.window());
  connect(dialog, &SettingsDialog::playIntroChanged, this, [this](bool on) { app_.setPlayIntro(on); });
  connect(dialog, &SettingsDialog::studioFloorChanged, this, [this](const kestrova::StudioFloor& floor) {
    app_.setStudioFloorAmounts(floor);
    showStudioFloor();
  });
  settingsDialog_ = dialog;
  connect(dialog, &SettingsDialog::finished_with, this, [this, dialog] {
    if (settingsDialog_ == dialog) settingsDialog_ = nullptr;
    dialog->deleteLater();
  });
  dialog->show();
}

QWidget* ShotCommands::OnCheckArtwork() {
  kestrova::SceneState& shot = scene();
  const qreal ratio = view_.devicePixelRatioF();
  const QSize window(static_cast<int>(view_.width() * ratio), static_cast<int>(view_.height() * ratio));
  const QSize exported = SettingsDialog::VideoSize(videoFormat_);
  std::vector<ArtworkCheckDialog::Size> sizes = {{"This window", window, {}}, {"Export", exported, {}}};
  view_.makeCurrent();
  for (ArtworkCheckDialog::Size& size : sizes) {
    size.checks = kestrova::CheckArtwork(shot, size.pixels.width(), size.pixels.height());
  }
  view_.doneCurrent();
  auto* dialog = new ArtworkCheckDialog(sizes, view_.window());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
  return dialog;
}

void ShotCommands::setStudioFloor(bool on) {
  app_.setStudioFloorOn(on);
  showStudioFloor();
}

void ShotCommands::setStudioLook(bool on) {
  app_.setStudioLook(on);
  scene().look.studio = on;
  showStudioFloor();
}

void ShotCommands::setDevice(const std::string& device) {
  scene().look.device = device;
  view_.requestFrame();
}

void ShotCommands::showStudioFloor() {
  scene().studioFloor = app_.studioFloor();
  // A photographed product stands on its shadow.
  if (scene().look.studio) scene().studioFloor.shadow = true;
  view_.requestFrame();
}

void ShotCommands::putShotBack(kestrova::SceneState& kept) {
  // The pose and the frame go back; pictures and models an export loaded
  // for the first time stay loaded.
  kestrova::SceneState& shot = scene();
  kept.textureSlot = shot.textureSlot;
  kept.deferred = shot.deferred;
  kept.artwork = shot.artwork;
  shot = std::move(kept);
  view_.makeCurrent();
  kestrova::ApplyViewSize(shot, static_cast<int>(view_.width() * view_.devicePixelRatioF()),
                          static_cast<int>(view_.height() * view_.devicePixelRatioF()));
  kestrova::ApplyClearColor(shot);
  view_.doneCurrent();
  view_.requestFrame();
}

void ShotCommands::sayCancelled(const std::string& path) {
  app_.platform().messageBox("The export was cancelled; " + path + " was not written.", "Kestrova",
                             kestrova::MessageButtons::Ok, kestrova::MessageIcon::Information);
}

// ---- Export Image ----

namespace {

// What an export's choice changes in the shot (which is put back after).
void applyExportChoice(kestrova::SceneState& shot, const ExportImageDialog::Choice& choice) {
  shot.look.studio = choice.studio;
  shot.look.lens = static_cast<float>(choice.lens);
  shot.look.fit = choice.studio && choice.fit ? choice.margin : -1;
  shot.studioFloor.shadow = choice.floor == 1 || choice.floor == 3;
  shot.studioFloor.reflection = choice.floor >= 2;
  shot.studioFloor.shadowStrength = choice.shadowStrength;
  shot.studioFloor.softness = choice.softness;
  static const char* const kSetups[] = {"bright", "soft", "dark"};
  shot.look.setup = kSetups[std::clamp(choice.setup, 0, 2)];
  shot.look.gloss = choice.gloss;
  shot.look.environment = choice.environment.toStdString();
  if (choice.background.size() == 6) {
    const uint32_t rgb = choice.background.toUInt(nullptr, 16);
    shot.backgroundColor = {((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f};
  } else if (const auto sweep = choice.studio ? kestrova::studio::SetupBackground(shot.look.setup) : std::nullopt) {
    // A set-up with a sweep of its own (the dark one) brings it, as
    // kestrova-render's --studio does, unless a background is typed.
    shot.backgroundColor = {(*sweep)[0], (*sweep)[1], (*sweep)[2]};
  }
}

}  // namespace

void ShotCommands::OnExportImage() {
  // A face or project saved meanwhile is reloaded after, not into the frame
  // being exported.
  const WatchHold hold(*faceWatcher_);
  // The preview draws the choice on a copy of the shot, small, in the
  // view's context; nothing of the shot changes.
  const ExportImageDialog::Preview preview = [this](const ExportImageDialog::Choice& choice, QSize size) {
    auto copy = std::make_unique<kestrova::SceneState>(scene());
    applyExportChoice(*copy, choice);
    kestrova::ExportOptions o;
    o.width = size.width();
    o.height = size.height();
    o.transparent = choice.transparent;
    kestrova::RenderHost quiet;
    std::string error;
    view_.makeCurrent();
    kestrova::ApplyClearColor(*copy);
    const kestrova::RgbaImage image = kestrova::RenderExport(*copy, quiet, o, &error);
    kestrova::ApplyClearColor(scene());
    view_.doneCurrent();
    if (image.pixels.empty()) return QImage();
    return QImage(image.pixels.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888).copy();
  };
  // Asked through the platform, as every file of the program is.
  const ExportImageDialog::ChooseFile chooseEnvironment = [this](const QString& current) {
    kestrova::FileDialogRequest request;
    request.title = "Environment Picture";
    request.filter = "HDR Pictures (*.hdr *.exr)|*.hdr;*.exr||";
    request.fileMustExist = true;
    request.initialDirectory =
        current.isEmpty() ? exportFolder() : QFileInfo(current).absolutePath().toStdString();
    const std::optional<std::string> chosen = app_.platform().openFileName(request);
    return chosen ? QString::fromStdString(*chosen) : QString();
  };
  ExportImageDialog options(ExportImageDialog::Remembered(), view_.window(), preview, chooseEnvironment);
  if (options.exec() != QDialog::Accepted) return;
  const ExportImageDialog::Choice choice = options.choice();
  ExportImageDialog::Remember(choice);
  kestrova::FileDialogRequest request;
  request.title = "Export Image";
  request.filter = "PNG Image (*.png)|*.png|JPEG Image (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp||";
  request.defaultExtension = "png";
  request.confirmOverwrite = true;
  request.initialDirectory = exportFolder();
  const auto path = app_.platform().saveFileName(request);
  if (!path) return;
  screenshotFolder_ = QFileInfo(QString::fromStdString(*path)).absolutePath();
  const bool png = kestrova::EndsWithIgnoringCase(*path, ".png");
  const bool jpeg = kestrova::EndsWithIgnoringCase(*path, ".jpg") || kestrova::EndsWithIgnoringCase(*path, ".jpeg");
  if (!png && !jpeg && !kestrova::EndsWithIgnoringCase(*path, ".bmp")) {
    showError("Kestrova writes pictures as PNG, JPEG or BMP: name the file " + *path + " with one of their endings.");
    return;
  }
  if (choice.transparent && !png) {
    showError("Only a PNG keeps a transparent background: choose a .png name, or leave the background opaque.");
    return;
  }
  kestrova::SceneState& shot = scene();
  const auto kept = std::make_unique<kestrova::SceneState>(shot);
  applyExportChoice(shot, choice);
  kestrova::ExportOptions o;
  o.width = choice.width;
  o.height = choice.height;
  o.supersample = choice.supersample;
  o.transparent = choice.transparent;
  if (shot.playing && shot.keyCount > 0) o.frame = shot.currentFrame;
  // Tiles small enough that a request to end is seen within a second or
  // two, even at 16000 x 16000 in the studio look.
  o.maxTile = 1024;
  bool ended = false;
  o.stop = [&ended] { return ended = kestrova::TerminateSignalled() || kestrova::QuitRequested(); };
  QProgressDialog progress("Exporting the picture...", "Cancel", 0, choice.height, view_.window());
  progress.setWindowTitle("Export Image");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  std::string error;
  bool cancelled = false;
  kestrova::PngWriter writer;
  kestrova::RgbaImage whole;
  const kestrova::ExportRows sink = [&](const uint8_t* rgba, int firstRow, int rows, std::string* why) {
    progress.setValue(firstRow + rows);
    // Showing the progress paints the window, which leaves its own context
    // current: the next tile is drawn in the view's again.
    view_.makeCurrent();
    if (progress.wasCanceled()) {
      cancelled = true;
      *why = "cancelled";
      return false;
    }
    if (png) return writer.write(rgba, rows, why);
    if (whole.pixels.empty()) {
      whole.width = o.width;
      whole.height = o.height;
      whole.pixels.resize(static_cast<size_t>(o.width) * static_cast<size_t>(o.height) * 4);
    }
    std::copy(rgba, rgba + static_cast<size_t>(rows) * o.width * 4,
              whole.pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(firstRow) * o.width * 4));
    return true;
  };
  kestrova::RenderHost quiet;
  view_.makeCurrent();
  kestrova::ApplyClearColor(shot);
  bool written = (!png || writer.open(*path, o.width, o.height, o.transparent, &error)) &&
                 kestrova::RenderExportRows(shot, quiet, o, sink, &error);
  view_.doneCurrent();
  if (written && png) written = writer.finish(&error);
  if (written && !png) {
    if (jpeg) {
      QByteArray bytes;
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      const QImage image(whole.pixels.data(), whole.width, whole.height, whole.width * 4, QImage::Format_RGBA8888);
      written = image.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", 92) &&
                kestrova::ReplaceFile(*path, {bytes.begin(), bytes.end()}, &error);
      if (!written && error.empty()) error = "the picture could not be encoded";
    } else {
      written = kestrova::WriteBmpFile(*path, kestrova::CaptureFromRgba(whole), &error);
    }
  }
  progress.reset();
  putShotBack(*kept);
  if (ended) {
    // The program is ending: the unfinished file goes with the writer,
    // nothing to say.
  } else if (cancelled) {
    sayCancelled(*path);
  } else if (!written) {
    showError("Kestrova could not export " + *path + ": " + error);
  } else {
    window_.showStatusText(QString::fromStdString("Exported " + *path));
  }
}

// ---- Export 3D Model ----

void ShotCommands::OnExport3DModel() {
  const auto path = exportName("Export 3D Model", "glTF Binary (*.glb)|*.glb|USDZ for Quick Look (*.usdz)|*.usdz||", "glb", {".glb", ".usdz"}, "3D models");
  if (!path) return;
  kestrova::ShopFilesRequest files;
  (kestrova::EndsWithIgnoringCase(*path, ".usdz") ? files.usdz : files.glb) = *path;
  files.tooLarge = [](const std::string&, uint64_t bytes) {
    return "The 3D model would be " + std::to_string((bytes + (1 << 19)) >> 20) +
           " MB, more than the 5 MB a shop page takes: use smaller artwork, or kestrova-render's --texture-size.";
  };
  std::string error;
  bool written = false;
  {
    WaitCursor wait;
    view_.makeCurrent();
    written = kestrova::WriteShopFiles(scene(), files, nullptr, &error);
    view_.doneCurrent();
  }
  if (!written) {
    // "cannot make the 3D model: ...", said as a sentence of its own.
    if (error.rfind("cannot ", 0) == 0) error = "Kestrova could not " + error.substr(7) + ".";
    showError(error);
    return;
  }
  window_.showStatusText(QString::fromStdString("Wrote " + *path));
}

void ShotCommands::OnLoadFullCover() {
  kestrova::FileDialogRequest request;
  request.title = "Load Full Cover";
  request.filter = "Covers (*.png *.jpg *.jpeg *.tif *.tiff *.pdf)|*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.pdf|All Files (*.*)|*.*||";
  request.fileMustExist = true;
  request.initialDirectory = exportFolder();
  const auto path = app_.platform().openFileName(request);
  if (!path) return;
  // The faces cut from it are kept where the program keeps its own files:
  // a project saved afterwards names them, and they must outlive the run.
  // Each load has a folder of its own, made new (two loads in one
  // millisecond once shared one, and a refused second cover deleted the
  // faces the shot was showing).
  const QString covers = app_.dataFolder() + "/covers";
  QDir().mkpath(covers);
  QTemporaryDir made(covers + "/cover-XXXXXX");
  if (!made.isValid()) {
    showError("Kestrova could not make a folder in " + covers.toStdString() + " for the cover's faces.");
    return;
  }
  made.setAutoRemove(false);
  const QString folder = made.path();
  kestrova::SceneState& shot = scene();
  std::vector<std::pair<kestrova::TextureSlot, std::string>> faces;
  std::string error;
  bool loaded = false;
  {
    WaitCursor wait;
    view_.makeCurrent();
    loaded = kestrova::CutWrap(shot, {}, *path, folder.toStdString(), &faces, &error);
    // All or nothing: every face is read before any is shown.
    for (size_t i = 0; loaded && i < faces.size(); ++i) {
      const kestrova::PictureResult piece = kestrova::LoadPicture(faces[i].second);
      if (!piece.picture) error = "cannot read the face cut from it, " + faces[i].second + ": " + piece.error;
      loaded = piece.picture != nullptr;
    }
    const float absolute = shot.imagePathIsAbsolute;
    shot.imagePathIsAbsolute = 2;
    for (size_t i = 0; loaded && i < faces.size(); ++i) {
      loaded = kestrova::LoadTexture(shot, faces[i].second, shot.textureSlot[faces[i].first], &error);
    }
    shot.imagePathIsAbsolute = absolute;
    view_.doneCurrent();
  }
  if (!loaded) {
    QDir(folder).removeRecursively();
    // The readers' own words may end their sentence already.
    if (!error.empty() && error.back() == '.') error.pop_back();
    showError("Kestrova could not use the cover: " + error + ".");
    return;
  }
  view_.requestFrame();
  window_.showStatusText(QString::fromStdString("Cut " + *path + " into " + std::to_string(faces.size()) + " faces"));
}

void ShotCommands::OnExportPrintTemplate() {
  const auto path = exportName("Export Print Template", "PDF (*.pdf)|*.pdf|SVG Drawing (*.svg)|*.svg||", "pdf", {".pdf", ".svg"}, "print templates");
  if (!path) return;
  kestrova::PrintTemplateRequest files;
  files.path = *path;
  std::string error;
  bool written = false;
  {
    WaitCursor wait;
    view_.makeCurrent();
    written = kestrova::ExportPrintTemplate(scene(), files, &error);
    view_.doneCurrent();
  }
  if (!written) {
    showError("Kestrova could not write the print template: " + error + ".");
    return;
  }
  window_.showStatusText(QString::fromStdString("Wrote " + *path));
}

// ---- Export Animation ----

void ShotCommands::OnExportAnimation() {
  const WatchHold hold(*faceWatcher_);
  kestrova::SceneState& shot = scene();
  const QSize size = SettingsDialog::VideoSize(videoFormat_);
  const int fps = SettingsDialog::VideoFps(videoFormat_);
  ExportAnimationDialog options(size, fps, shot.keyCount > 0, view_.window());
  if (options.exec() != QDialog::Accepted) return;
  const double turntable = options.turntableSeconds();
  const auto path = exportName("Export Animation", "MP4 Video (*.mp4)|*.mp4|WebM Video (*.webm)|*.webm|GIF Animation (*.gif)|*.gif||", "mp4", {".mp4", ".webm", ".gif"}, "animations");
  if (!path) return;
  std::string error;
  auto writer = kestrova::VideoWriter::Open(*path, size.width(), size.height(), fps, &error);
  if (!writer) {
    showError(error);
    return;
  }
  const int frames = turntable > 0 ? kestrova::TurntableFrames(turntable, fps) : shot.bakedFrameCount;
  // The export draws the frames it needs and then puts the shot back as it was.
  const auto kept = std::make_unique<kestrova::SceneState>(shot);
  QProgressDialog progress("Exporting the animation...", "Cancel", 0, frames, view_.window());
  progress.setWindowTitle("Export Animation");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  bool cancelled = false;
  bool failed = false;
  for (int i = 0; i < frames && !cancelled && !failed; ++i) {
    kestrova::ExportOptions frame;
    frame.width = size.width();
    frame.height = size.height();
    if (turntable > 0) {
      shot.playing = false;
      shot.rotation[1] = kestrova::TurntableAngle(kept->rotation[1], i, frames);
    } else {
      frame.frame = i;
    }
    view_.makeCurrent();
    kestrova::RenderHost quiet;  // no dialogs and no timeline from these frames
    const kestrova::RgbaImage image = kestrova::RenderExport(shot, quiet, frame, &error);
    view_.doneCurrent();
    failed = image.pixels.empty() || !writer->addFrame(image, &error);
    progress.setValue(i + 1);
    cancelled = progress.wasCanceled();
  }
  if (!cancelled && !failed) failed = !writer->finish(&error);
  if (cancelled || failed) writer->abandon();
  putShotBack(*kept);
  if (cancelled) {
    sayCancelled(*path);
  } else if (failed) {
    showError(error);
  }
}
