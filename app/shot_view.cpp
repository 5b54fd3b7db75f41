#include "shot_view.h"

#include "pictures/picture.h"

#include <algorithm>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QSettings>
#include <QSurfaceFormat>
#include <QTimer>

#include "animation/keyframes.h"
#include "application.h"
#include "panel/control_panel.h"
#include "pictures/qimage_bridge.h"
#include "platform.h"
#include "render/gl_extensions.h"
#include "render/preflight.h"
#include "render/classic/render_frame.h"
#include "render/scene_initialiser.h"
#include "render/studio/studio_renderer.h"
#include "render/texture_loader.h"
#include "scene/scene_edits.h"
#include "shot/program_folder.h"
#include "shot/project_io.h"
#include "shot/startup.h"

namespace {
// Where the last face picture was picked from.
constexpr const char* kLastPictureFolderKey = "Face Pictures/Folder";
}  // namespace

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
  // The studio look keeps GL names of this context: they go with it, and a
  // later context may reuse their numbers.
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [] { kestrova::studio::ForgetStudioResources(); },
          Qt::DirectConnection);
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
      // The next face's picture is most likely beside the last one.
      QSettings settings;
      dialog.initialDirectory = settings.value(kLastPictureFolderKey).toString().toStdString();
      std::optional<std::string> chosen = platform.openFileName(dialog);
      if (chosen && !chosen->empty()) {
        settings.setValue(kLastPictureFolderKey, QFileInfo(QString::fromStdString(*chosen)).absolutePath());
      }
      return chosen;
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
  // Loaded, though not quite as the picture asked (its colour profile).
  std::string notes;
  for (const std::string& note : kestrova::TakePictureNotes()) notes += (notes.empty() ? "" : "\n") + note;
  if (loaded && !notes.empty()) {
    app_.platform().messageBox(notes, "Kestrova", kestrova::MessageButtons::Ok, kestrova::MessageIcon::Information);
  }
  requestFrame();
  sharpenDrawingsSoon();
}

kestrova::RgbaImage ShotView::captureFrame() { return kestrova::FromQImage(grabFramebuffer()); }

void ShotView::resizeGL(int w, int h) {
  framesOwed_ = 2;
  const qreal ratio = devicePixelRatioF();
  kestrova::ApplyViewSize(scene_, static_cast<int>(w * ratio), static_cast<int>(h * ratio));
  sharpenDrawingsSoon();
}

void ShotView::sharpenDrawingsSoon() {
  if (!sharpen_) {
    sharpen_ = new QTimer(this);
    sharpen_->setSingleShot(true);
    sharpen_->setInterval(300);
    connect(sharpen_, &QTimer::timeout, this, [this] {
      const auto& art = scene_.artwork;
      if (!std::any_of(art.begin(), art.end(), [](const kestrova::FaceArtwork& a) { return a.scalable; })) return;
      makeCurrent();
      kestrova::SharpenDrawings(
          scene_, kestrova::ShownSides(kestrova::CheckArtwork(scene_, scene_.viewWidth, scene_.viewHeight)));
      doneCurrent();
      requestFrame();
    });
  }
  sharpen_->start();
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
  static const QStringList kImages = {"jpg", "jpeg", "jpe", "bmp", "gif", "png", "ico", "wmf", "emf",
                                             "webp", "tif", "tiff", "svg", "pdf", "psd", "psb"};
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
    emit projectDropped(path);
    return;
  }
  const auto face = faceAt(event->position().toPoint());
  if (!face) return;  // the background takes nothing
  event->acceptProposedAction();
  loadFaceImage(*face, path.toStdString());
}
