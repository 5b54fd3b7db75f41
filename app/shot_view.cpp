#include "shot_view.h"

#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QProgressDialog>
#include <QScreen>
#include <QMouseEvent>
#include <QOpenGLFramebufferObject>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSettings>
#include <QSurfaceFormat>
#include <QTimer>


#include "application.h"
#include "animation/keyframes.h"
#include "main_window.h"
#include "formats/bmp_export.h"
#include "panel/control_panel.h"
#include "intro_dialog.h"
#include "export_animation_dialog.h"
#include "formats/video_writer.h"
#include "render/export_image.h"
#include "settings_dialog.h"
#include "render/scene_initialiser.h"
#include "shot/new_shot.h"
#include "scene/scene_edits.h"
#include "shot/program_folder.h"
#include "shot/project_io.h"
#include "pictures/qimage_bridge.h"
#include "shot/startup.h"
#include "render/texture_loader.h"
#include "shot/update_check.h"
#include "platform.h"
#include "render/gl_extensions.h"
#include "render/render_frame.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kProfileSection = "Number of Particles";
constexpr const char* kProfileEntry = "Value";
constexpr GLenum kMaxSamples = 0x8D57;  // GL_MAX_SAMPLES

int probeMaxSamples() {
  QOffscreenSurface surface;
  surface.create();
  QOpenGLContext context;
  if (!context.create() || !context.makeCurrent(&surface)) return 0;
  QOpenGLFunctions* gl = context.functions();
  const char* extensions = reinterpret_cast<const char*>(gl->glGetString(GL_EXTENSIONS));
  GLint samples = 0;
  if (context.format().majorVersion() >= 3 ||
      (extensions && kestrova::HasExtension(extensions, "GL_ARB_multisample"))) {
    gl->glGetIntegerv(kMaxSamples, &samples);
  }
  context.doneCurrent();
  return samples;
}

}  // namespace

int ShotView::multisampleCount() {
  static const int count = kestrova::ChooseSampleCount(probeMaxSamples());
  return count;
}

ShotView::ShotView(Application& app, QWidget* parent) : QOpenGLWidget(parent), app_(app) {
  setObjectName("ShotView");
  askForUpdates();

  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  format.setSamples(multisampleCount());
  setFormat(format);
  setMinimumSize(1, 1);
  setAcceptDrops(true);
}

ShotView::~ShotView() {
  // The panel writes into this view's scene: it goes first.
  delete scene_.controlPanel;
  persistIntroPosition();
  app_.registerRedrawView(nullptr);
  // Texture names die with the context; make it current so Qt releases its
  // resources against the right one.
  makeCurrent();
  doneCurrent();
}

void ShotView::askForUpdates() {
  kestrova::Platform& platform = app_.platform();
  const auto answer =
      platform.messageBox("Would you like to check for Updates?", "Kestrova",
                          kestrova::MessageButtons::YesNo, kestrova::MessageIcon::Question);
  if (answer == kestrova::MessageAnswer::Yes) runUpdateCheck();
}

void ShotView::runUpdateCheck() {
  kestrova::Platform& platform = app_.platform();
  const auto result = kestrova::CheckForUpdates(app_.updateScriptUrl(), KESTROVA_VERSION);
  platform.messageBox(result.message, "Kestrova", kestrova::MessageButtons::Ok,
                      result.status == kestrova::UpdateCheckResult::Status::Unreachable
                          ? kestrova::MessageIcon::Warning
                          : kestrova::MessageIcon::Information);
}

void ShotView::persistIntroPosition() {
  QSettings settings;
  settings.beginGroup(kProfileSection);
  settings.setValue(kProfileEntry, scene_.sequenceIndex);
  settings.endGroup();
  settings.sync();
  scene_.flagText = "False";
  kestrova::WriteStartMarker(app_.stateFolder().toStdString(), scene_.flagText);
}

void ShotView::initializeGL() {
  app_.registerRedrawView(this);
  framesOwed_ = 2;
  InitialiseScene();
}

void ShotView::InitialiseScene() {
  using namespace kestrova;
  QSettings settings;
  settings.beginGroup(kProfileSection);
  const int stored = settings.value(kProfileEntry, 1).toInt();
  settings.endGroup();
  StartupHooks hooks;
  std::string sampleError;
  hooks.markerFolder = app_.markerFolder().toStdString();
  hooks.userSequences = app_.userSequencesFolder().toStdString();
  // The window shows sooner when only what its first frame draws is decoded;
  // the other products' pictures and models load when first shown.
  hooks.deferAssets = true;
  hooks.playSample = [&sampleError, &hooks](SceneState& scene, int index) {
    const ProjectResult loaded = ReadProject(scene, SequencePath(scene, index, hooks.userSequences), scene.controlPanel);
    if (!loaded.ok) sampleError = loaded.error;
  };
  const StartupResult result =
      kestrova::InitialiseScene(scene_, app_.programFolder().toStdString(), stored, hooks);
  for (const LoaderMessage& message : result.messages) {
    app_.platform().messageBox(message.text, message.caption, MessageButtons::Ok,
                               message.caption == "Warning" ? MessageIcon::Warning : MessageIcon::Stop);
  }
  if (result.markerMissing) {
    app_.platform().messageBox("Flag.txt was not found.", "Kestrova", MessageButtons::Ok,
                               MessageIcon::Stop);
    return;
  }
  if (!sampleError.empty()) {
    app_.platform().messageBox(sampleError, "Error", MessageButtons::Ok, MessageIcon::Stop);
  }
  sceneInitialised_ = true;
}

void ShotView::requestFaceImage(kestrova::FaceRequest face) {
  // No modal dialog inside paintGL: it runs right after this frame, with the
  // view's context current for the upload.
  QTimer::singleShot(0, this, [this, face] {
    kestrova::Platform& platform = app_.platform();
    auto ask = [&platform](const kestrova::ImageDialogRequest& request) {
      kestrova::FileDialogRequest dialog;
      dialog.title = request.title;
      dialog.filter = request.filter;
      dialog.defaultExtension = request.defaultExtension;
      dialog.fileMustExist = true;
      return platform.openFileName(dialog);
    };
    selectFaceImage(face, ask);
  });
}

void ShotView::loadFaceImage(kestrova::FaceRequest face, const std::string& path) {
  selectFaceImage(face, [&path](const kestrova::ImageDialogRequest&) { return std::optional<std::string>(path); });
}

void ShotView::selectFaceImage(kestrova::FaceRequest face, const kestrova::AskForImage& ask) {
  makeCurrent();
  std::string error;
  const bool loaded = kestrova::SelectFaceImage(scene_, face, ask, &error);
  doneCurrent();
  if (!loaded) {
    app_.platform().messageBox("Kestrova could not use this picture.\n\n" + error, "Warning",
                               kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
  }
  requestFrame();
}

kestrova::RgbaImage ShotView::captureFrame() { return kestrova::FromQImage(grabFramebuffer()); }

void ShotView::resizeGL(int w, int h) {
  framesOwed_ = 2;
  const qreal ratio = devicePixelRatioF();
  kestrova::ApplyViewSize(scene_, static_cast<int>(w * ratio), static_cast<int>(h * ratio));
}

void ShotView::paintGL() {
  frameStart_.start();
  const bool wasPlaying = scene_.playing;
  const int frameBefore = scene_.currentFrame;
  kestrova::RenderFrame(scene_, *this);
  if (!scene_.deferred.messages.empty()) reportDeferredMessages();
  ++framesDrawn_;
  if (framesOwed_ > 0) --framesOwed_;
  // A playing animation moves on until the frame that shows its held last
  // frame; after that the picture only changes when something asks.
  const bool moving = scene_.playing && !(wasPlaying && scene_.currentFrame == frameBefore);
  app_.frameDrawn(frameStart_, moving || framesOwed_ > 0);
}

void ShotView::reportDeferredMessages() {
  // What the model loader said of a model the frame read: shown after the
  // frame, never from inside it.
  std::vector<std::pair<std::string, std::string>> messages;
  messages.swap(scene_.deferred.messages);
  QTimer::singleShot(0, this, [this, messages] {
    for (const auto& [caption, text] : messages) {
      app_.platform().messageBox(text, caption, kestrova::MessageButtons::Ok,
                                 caption == "Warning" ? kestrova::MessageIcon::Warning : kestrova::MessageIcon::Stop);
    }
  });
}

void ShotView::requestFrame() {
  // This frame, and one more for the work a frame hands on (face requests,
  // the intro dialog, the timeline).
  framesOwed_ = 2;
  update();
}

void ShotView::showEvent(QShowEvent* event) {
  QOpenGLWidget::showEvent(event);
  requestFrame();
}

// ---- Mouse dragging: the handlers change the scene and ask for a frame ----

namespace {

bool isDragButton(Qt::MouseButton button) { return button == Qt::LeftButton || button == Qt::RightButton; }

}  // namespace

void ShotView::mousePressEvent(QMouseEvent* event) {
  if (!isDragButton(event->button())) return;
  const QPoint at = event->position().toPoint();
  kestrova::BeginDrag(scene_, event->button() == Qt::RightButton, at.x(), at.y());
  grabMouse();
}

void ShotView::mouseReleaseEvent(QMouseEvent* event) {
  if (!isDragButton(event->button())) return;
  kestrova::EndDrag(scene_, event->button() == Qt::RightButton);
  releaseMouse();
}

void ShotView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const bool control = event->modifiers().testFlag(Qt::ControlModifier);
  const kestrova::DragOutcome outcome =
      kestrova::DragTo(scene_, at.x(), at.y(), control, scene_.controlPanel != nullptr);
  if (!outcome.moved) return;
  if (scene_.controlPanel) scene_.controlPanel->showDragValues(outcome.mirror);
  requestFrame();
}

// ---- The control panel ----

void ShotView::OnControlPanel() {
  if (scene_.controlPanel) return;
  auto* panel = new ControlPanel(scene_, *this, app_.advancedControls(), window());
  panel->setAttribute(Qt::WA_DeleteOnClose);
  scene_.controlPanel = panel;
  if (panelPosition_) {
    panel->move(*panelPosition_);
  } else {
    panel->move(window()->mapToGlobal(panel->dialogUnits(60, 280)));
  }
  panel->show();
}

void ShotView::panelClosing() {
  if (scene_.controlPanel) panelPosition_ = scene_.controlPanel->pos();
  scene_.controlPanel = nullptr;
}

void ShotView::SeekToFrame() {
  if (!scene_.controlPanel) return;
  scene_.currentFrame = scene_.controlPanel->timelinePosition();
  kestrova::ShowFrame(scene_, scene_.currentFrame);
  scene_.controlPanel->SyncPanelControls();
  requestFrame();
}

void ShotView::syncPanelControls() {
  if (scene_.controlPanel) scene_.controlPanel->SyncPanelControls();
}

void ShotView::showTimelineFrame(int frame) {
  if (scene_.controlPanel) scene_.controlPanel->showTimelineFrame(frame);
}

void ShotView::setStatusText(const std::string& text) {
  if (auto* main = qobject_cast<MainWindow*>(window())) main->showStatusText(QString::fromStdString(text));
}

void ShotView::showPanelMessage(const std::string& text) {
  app_.platform().messageBox(text, "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
}

void ShotView::openWebLink(const std::string& url) {
  // A link comes from a project file someone else may have made: only web
  // addresses go to the desktop, never a program or a local file.
  if (!kestrova::IsWebAddress(url)) {
    app_.platform().messageBox("The link \"" + url + "\" was not opened: Kestrova opens only web addresses (http or https).",
                               "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
    return;
  }
  app_.platform().openUrl(url);
}

// ---- Projects and presets ----

namespace {

kestrova::FileDialogRequest projectSaveDialog(const char* title, const char* filter) {
  kestrova::FileDialogRequest request;
  request.title = title;
  request.filter = filter;
  request.defaultExtension = "TSMR";
  request.initialName = "*.TSMR";
  request.confirmOverwrite = true;
  return request;
}

}  // namespace

void ShotView::showError(const std::string& text) {
  app_.platform().messageBox(text, "Error", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Stop);
}

kestrova::WebPictures ShotView::askBeforeFetching() {
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

void ShotView::loadProject(const std::string& path, bool quietFaces) {
  const kestrova::WebPictures web = askBeforeFetching();
  makeCurrent();
  finishLoad(kestrova::ReadProject(scene_, path, scene_.controlPanel, &web), quietFaces);
}

void ShotView::finishLoad(const kestrova::ProjectResult& loaded, bool quietFaces) {
  doneCurrent();
  if (!loaded.ok) {
    showError(loaded.error);
    return;
  }
  if (!loaded.faceErrors.empty() && !quietFaces) {
    std::string text = "The project was opened, but these pictures could not be loaded; their faces keep the "
                       "pictures they had:\n";
    for (const std::string& face : loaded.faceErrors) text += "\n" + face;
    app_.platform().messageBox(text, "Warning", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
  }
  if (scene_.controlPanel) scene_.controlPanel->SyncPanelControls();
  requestFrame();
}

void ShotView::OnOpenProject() {
  kestrova::FileDialogRequest request;
  request.title = "Open a Kestrova File";
  request.filter = "Tessmere Files(*.TSMR)|*.TSMR||";
  request.fileMustExist = true;
  const auto path = app_.platform().openFileName(request);
  if (path) loadProject(*path);
}

void ShotView::OnSaveProject() {
  const auto path = app_.platform().saveFileName(projectSaveDialog(
      "Save a Tessmere File", "Quillane Keyframe Files (*.TSMR) | *.TSMR | All Files (*.*) | *.*||"));
  if (!path) return;
  const kestrova::ProjectResult saved = kestrova::WriteProject(scene_, *path);
  if (!saved.ok) showError(saved.error);
}

void ShotView::loadPreset(int index) {
  makeCurrent();
  const kestrova::WebPictures web = askBeforeFetching();
  finishLoad(kestrova::LoadPreset(scene_, index, scene_.controlPanel, app_.userSequencesFolder().toStdString(), &web));
}

void ShotView::addToPresets() {
  kestrova::FileDialogRequest request = projectSaveDialog(
      "Save a Dolvane Keyframe File", "Dolvane Files (*.TSMR) | *.TSMR | All Files (*.*) | *.*||");
  // An installed program's own folder is read-only: the user's presets live
  // in their data folder and are listed with the samples.
  const QString userSequences = app_.userSequencesFolder();
  if (!userSequences.isEmpty()) QDir().mkpath(userSequences);
  request.initialDirectory =
      userSequences.isEmpty() ? scene_.programFolder + "/Sequences" : userSequences.toStdString();
  const auto path = app_.platform().saveFileName(request);
  if (!path) return;
  const kestrova::ProjectResult saved = kestrova::WriteProject(scene_, *path);
  if (!saved.ok) {
    showError(saved.error);
    return;
  }
  kestrova::ListSequences(scene_.programFolder, scene_, userSequences.toStdString());
  // The listing leaves the Sequences folder current; images are named from
  // the program folder.
  QDir::setCurrent(QString::fromStdString(scene_.programFolder));
}

// ---- Commands ----

namespace {

// The wait cursor for as long as this lives, on every path out.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

bool endsWithPng(const std::string& path) {
  return QString::fromStdString(path).endsWith(".png", Qt::CaseInsensitive);
}

}  // namespace

kestrova::CapturedFrame ShotView::captureForExport(bool focusPanel) {
  if (ControlPanel* panel = scene_.controlPanel) {
    if (focusPanel) panel->setFocus();
    panel->hide();
  }
  WaitCursor wait;
  return kestrova::CaptureFromRgba(captureFrame());
}

void ShotView::showPanelAgain() {
  if (scene_.controlPanel) scene_.controlPanel->show();
}

void ShotView::OnFileSaveScreenshot() {
  const kestrova::CapturedFrame frame = captureForExport(false);
  kestrova::FileDialogRequest request;
  request.title = "Export Screenshot";
  request.filter = "Export Bitmap (*.bmp)|*.*|PNG Picture (*.png)|*.png|All Files|*.*||";
  request.defaultExtension = "bmp";
  request.confirmOverwrite = true;
  const auto path = app_.platform().saveFileName(request);
  if (!path || path->empty()) {
    showPanelAgain();
    return;
  }
  std::string error;
  bool written = false;
  {
    WaitCursor wait;
    if (endsWithPng(*path)) {
      // The same pixels as the BMP, top row first.
      const QImage image = QImage(frame.bgr.data(), frame.width, frame.height, frame.width * 3,
                                  QImage::Format_BGR888).mirrored();
      written = frame.width > 0 && image.save(QString::fromStdString(*path), "PNG");
      if (!written) error = "Kestrova could not write \"" + *path + "\" as a PNG picture.";
    } else {
      written = kestrova::WriteBmpFile(*path, frame, &error);
    }
  }
  showPanelAgain();
  if (!written) showError(error);
}

void ShotView::OnCopyImage() {
  const kestrova::CapturedFrame frame = captureForExport(true);
  {
    WaitCursor wait;
    app_.platform().setClipboardDib(kestrova::EncodeDib(frame));
  }
  showPanelAgain();
}

void ShotView::OnFileNew() {
  const bool panelOpen = scene_.controlPanel != nullptr;
  if (panelOpen) delete scene_.controlPanel;  // its close remembers where it stood
  // The default images are named relative to the program folder.
  QDir::setCurrent(QString::fromStdString(scene_.programFolder));
  makeCurrent();
  kestrova::NewShot(scene_, panelOpen);
  doneCurrent();
  if (panelOpen) OnControlPanel();
  requestFrame();
}

void ShotView::OnHelp() {
  const std::string manual = app_.programFolder().toStdString() + "/Manual/index.html";
  if (!app_.platform().openLocalFile(manual)) {
    app_.platform().messageBox("Kestrova could not start a web browser. The manual is at " + manual + ".",
                               "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Information);
  }
}

void ShotView::OnCheckForUpdates() { runUpdateCheck(); }

void ShotView::OnBackgroundColor() {
  const auto chosen = app_.platform().chooseColor(scene_.backgroundColorRef);
  if (!chosen) return;
  scene_.backgroundColorRef = *chosen;
  scene_.backgroundColor = {static_cast<float>(*chosen & 0xFF) / 255.0f,
                            static_cast<float>((*chosen >> 8) & 0xFF) / 255.0f,
                            static_cast<float>((*chosen >> 16) & 0xFF) / 255.0f};
  makeCurrent();
  kestrova::ApplyClearColor(scene_);
  doneCurrent();
  requestFrame();
}

SettingsDialog* ShotView::settingsDialog() const { return settingsDialog_; }

IntroDialog* ShotView::introDialog() const { return introDialog_; }

namespace {

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

}  // namespace

void ShotView::createIntroDialog() {
  if (introDialog_) return;
  // Made now, so this very frame can enable its Start; shown (or, when the
  // user skips the intro, started at once) right after the frame.
  introDialog_ = new IntroDialog(app_, *this, window());
  scene_.introDialog = introDialog_;
  QTimer::singleShot(0, this, [this] {
    if (!introDialog_ || introDialog_->started()) return;
    if (app_.introSkipped()) {
      introDialog_->enableStart();
      introDialog_->OnStart();
      if (!app_.openAtStart().isEmpty()) loadProject(app_.openAtStart().toStdString());
      return;
    }
    placeBeside(introDialog_, window());
    introDialog_->show();
  });
}

void ShotView::enableIntroStart() {
  if (introDialog_) introDialog_->enableStart();
}

void ShotView::playSample(int index) {
  QDir::setCurrent(QString::fromStdString(scene_.programFolder));
  // The samples play on quietly, as they always have.
  loadProject(kestrova::SequencePath(scene_, index, app_.userSequencesFolder().toStdString()), true);
}

void ShotView::OnSettings() {
  if (settingsDialog_) return;
  auto* dialog = new SettingsDialog(videoFormat_, app_.playIntro(), window());
  connect(dialog, &SettingsDialog::playIntroChanged, this, [this](bool on) { app_.setPlayIntro(on); });
  settingsDialog_ = dialog;
  connect(dialog, &SettingsDialog::finished_with, this, [this, dialog] {
    if (settingsDialog_ == dialog) settingsDialog_ = nullptr;
    dialog->deleteLater();
  });
  dialog->show();
}

void ShotView::reinitialise() {
  makeCurrent();
  InitialiseScene();
  doneCurrent();
  requestFrame();
}

// ---- Dropping files on the view ----

namespace {

enum class DroppedKind { None, Image, Project };

DroppedKind kindOf(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  static const QStringList kImages = {"jpg", "jpeg", "jpe", "bmp", "gif", "png", "ico", "wmf", "emf"};
  if (kImages.contains(suffix)) return DroppedKind::Image;
  if (suffix == "tsmr") return DroppedKind::Project;
  return DroppedKind::None;
}

QString droppedFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().first().isLocalFile()) return {};
  const QString path = mime->urls().first().toLocalFile();
  return kindOf(path) == DroppedKind::None ? QString() : path;
}

// The colour each face image is swapped for while picking; the mug's
// reflection and the built-in bitmap stay black, so they add nothing.
QColor pickColour(int slot) {
  if (slot == kestrova::kSlotMugEnvironment || slot == kestrova::kSlotBuiltin) return Qt::black;
  return QColor(16 + slot * 14, 255 - slot * 14, 96);
}

std::optional<kestrova::FaceRequest> faceOfSlot(int slot) {
  using kestrova::FaceRequest;
  switch (slot) {
    case kestrova::kSlotBoxFront: return FaceRequest::BoxFront;
    case kestrova::kSlotBoxBack: return FaceRequest::BoxBack;
    case kestrova::kSlotBoxLeft: return FaceRequest::BoxLeft;
    case kestrova::kSlotBoxRight: return FaceRequest::BoxRight;
    case kestrova::kSlotBoxTop: return FaceRequest::BoxTop;
    case kestrova::kSlotBoxBottom: return FaceRequest::BoxBottom;
    case kestrova::kSlotBookFront: return FaceRequest::BookFront;
    case kestrova::kSlotBookBack: return FaceRequest::BookBack;
    case kestrova::kSlotBookSpine: return FaceRequest::BookSpine;
    case kestrova::kSlotBookPage1: return FaceRequest::BookRight;
    case kestrova::kSlotBookPage2: return FaceRequest::BookTop;
    case kestrova::kSlotBookPage3: return FaceRequest::BookBottom;
    case kestrova::kSlotMug: return FaceRequest::Mug;
    default: return std::nullopt;
  }
}

}  // namespace

std::optional<kestrova::FaceRequest> ShotView::faceAt(QPoint at) {
  using namespace kestrova;
  if (!rect().contains(at)) return std::nullopt;
  const qreal ratio = devicePixelRatioF();
  const QSize pixels(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
  makeCurrent();
  QOpenGLFramebufferObject target(pixels, QOpenGLFramebufferObject::CombinedDepthStencil);
  target.bind();
  auto copy = std::make_unique<SceneState>(scene_);
  copy->playing = false;  // the pose on screen, without stepping the animation
  copy->lightingMode = 0;
  copy->backgroundColor = {0, 0, 0};
  std::array<GLuint, kTextureSlotCount> colours{};
  glGenTextures(kTextureSlotCount, colours.data());
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    const QColor colour = pickColour(slot);
    const uint8_t texel[4] = {static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                              static_cast<uint8_t>(colour.blue()), 255};
    glBindTexture(GL_TEXTURE_2D, colours[static_cast<size_t>(slot)]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    copy->textureSlot[static_cast<size_t>(slot)] = colours[static_cast<size_t>(slot)];
  }
  ApplyClearColor(*copy);
  RenderHost none;
  RenderFrame(*copy, none);
  uint8_t pixel[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(static_cast<int>(at.x() * ratio), pixels.height() - 1 - static_cast<int>(at.y() * ratio), 1, 1,
               GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  glDeleteTextures(kTextureSlotCount, colours.data());
  target.release();
  ApplyClearColor(scene_);
  doneCurrent();
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    const QColor colour = pickColour(slot);
    if (colour == Qt::black) continue;
    if (std::abs(pixel[0] - colour.red()) <= 2 && std::abs(pixel[1] - colour.green()) <= 2 &&
        std::abs(pixel[2] - colour.blue()) <= 2) {
      return faceOfSlot(slot);
    }
  }
  return std::nullopt;
}

void ShotView::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ShotView::dropEvent(QDropEvent* event) {
  const QString path = droppedFile(event->mimeData());
  if (path.isEmpty()) return;
  if (kindOf(path) == DroppedKind::Project) {
    event->acceptProposedAction();
    loadProject(path.toStdString());
    return;
  }
  const auto face = faceAt(event->position().toPoint());
  if (!face) return;  // the background takes nothing
  event->acceptProposedAction();
  loadFaceImage(*face, path.toStdString());
}

// ---- Export Animation ----

void ShotView::OnExportAnimation() {
  const QSize size = SettingsDialog::VideoSize(videoFormat_);
  const int fps = SettingsDialog::VideoFps(videoFormat_);
  ExportAnimationDialog options(size, fps, scene_.keyCount > 0, window());
  if (options.exec() != QDialog::Accepted) return;
  const double turntable = options.turntableSeconds();
  kestrova::FileDialogRequest request;
  request.title = "Export Animation";
  request.filter = "MP4 Video (*.mp4)|*.mp4|WebM Video (*.webm)|*.webm|GIF Animation (*.gif)|*.gif||";
  request.defaultExtension = "mp4";
  request.confirmOverwrite = true;
  const auto path = app_.platform().saveFileName(request);
  if (!path) return;
  std::string error;
  auto writer = kestrova::VideoWriter::Open(*path, size.width(), size.height(), fps, &error);
  if (!writer) {
    showError(error);
    return;
  }
  const int frames = turntable > 0 ? kestrova::TurntableFrames(turntable, fps) : scene_.bakedFrameCount;
  // The export draws the frames it needs and then puts the shot back as it was.
  const auto kept = std::make_unique<kestrova::SceneState>(scene_);
  QProgressDialog progress("Exporting the animation...", "Cancel", 0, frames, window());
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
      scene_.playing = false;
      scene_.rotation[1] = kestrova::TurntableAngle(kept->rotation[1], i, frames);
    } else {
      frame.frame = i;
    }
    makeCurrent();
    kestrova::RenderHost quiet;  // no dialogs and no timeline from these frames
    const kestrova::RgbaImage image = kestrova::RenderExport(scene_, quiet, frame, &error);
    doneCurrent();
    failed = image.pixels.empty() || !writer->addFrame(image, &error);
    progress.setValue(i + 1);
    cancelled = progress.wasCanceled();
  }
  if (!cancelled && !failed) failed = !writer->finish(&error);
  if (cancelled || failed) writer->abandon();
  // The pose and the frame go back; pictures and models the export loaded
  // for the first time stay loaded.
  kept->textureSlot = scene_.textureSlot;
  kept->deferred = scene_.deferred;
  scene_ = *kept;
  makeCurrent();
  kestrova::ApplyViewSize(scene_, static_cast<int>(width() * devicePixelRatioF()),
                          static_cast<int>(height() * devicePixelRatioF()));
  kestrova::ApplyClearColor(scene_);
  doneCurrent();
  requestFrame();
  if (cancelled) {
    app_.platform().messageBox("The export was cancelled; " + *path + " was not written.", "Kestrova",
                               kestrova::MessageButtons::Ok, kestrova::MessageIcon::Information);
  } else if (failed) {
    showError(error);
  }
}
