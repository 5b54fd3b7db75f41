#include "shot_view.h"

#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSettings>
#include <QSurfaceFormat>
#include <QTimer>


#include "application.h"
#include "animation/keyframes.h"
#include "main_window.h"
#include "panel/control_panel.h"
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
  if (answer != kestrova::MessageAnswer::Yes) return;
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
  kestrova::WriteStartMarker(app_.programFolder().toStdString(), scene_.flagText);
}

void ShotView::initializeGL() {
  app_.registerRedrawView(this);
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
  hooks.playSample = [&sampleError](SceneState& scene, int index) {
    const ProjectResult loaded = ReadProject(scene, "Sequences/" + scene.sequenceNames[static_cast<size_t>(index)],
                                             scene.controlPanel);
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
    makeCurrent();
    std::string error;
    const bool loaded = kestrova::SelectFaceImage(scene_, face, ask, &error);
    doneCurrent();
    if (!loaded) {
      platform.messageBox("Kestrova could not use this picture.\n\n" + error, "Warning",
                          kestrova::MessageButtons::Ok, kestrova::MessageIcon::Warning);
    }
  });
}

kestrova::RgbaImage ShotView::captureFrame() { return kestrova::FromQImage(grabFramebuffer()); }

void ShotView::resizeGL(int w, int h) {
  const qreal ratio = devicePixelRatioF();
  kestrova::ApplyViewSize(scene_, static_cast<int>(w * ratio), static_cast<int>(h * ratio));
}

void ShotView::paintGL() {
  frameStart_.start();
  kestrova::RenderFrame(scene_, *this);
  ++framesDrawn_;
  app_.frameDrawn(frameStart_);
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
  update();
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
  update();
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

void ShotView::loadProject(const std::string& path) {
  makeCurrent();
  const kestrova::ProjectResult loaded = kestrova::ReadProject(scene_, path, scene_.controlPanel);
  doneCurrent();
  if (!loaded.ok) {
    showError(loaded.error);
    return;
  }
  if (scene_.controlPanel) scene_.controlPanel->SyncPanelControls();
  update();
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
  const kestrova::ProjectResult loaded = kestrova::LoadPreset(scene_, index, scene_.controlPanel);
  doneCurrent();
  if (!loaded.ok) {
    showError(loaded.error);
    return;
  }
  if (scene_.controlPanel) scene_.controlPanel->SyncPanelControls();
  update();
}

void ShotView::addToPresets() {
  kestrova::FileDialogRequest request = projectSaveDialog(
      "Save a Dolvane Keyframe File", "Dolvane Files (*.TSMR) | *.TSMR | All Files (*.*) | *.*||");
  request.initialDirectory = scene_.programFolder + "/Sequences";
  const auto path = app_.platform().saveFileName(request);
  if (!path) return;
  const kestrova::ProjectResult saved = kestrova::WriteProject(scene_, *path);
  if (!saved.ok) {
    showError(saved.error);
    return;
  }
  kestrova::ListSequences(scene_.programFolder, scene_);
}
