#include "glimvo_view.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSettings>
#include <QSurfaceFormat>

#include <cstdlib>

#include "glimvo_app.h"
#include "io/program_folder.h"
#include "io/update_check.h"
#include "platform.h"
#include "render/gl_extensions.h"
#include "render/render_frame.h"
#include "render/scene_initialiser.h"

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

int CGlimvoView::multisampleCount() {
  static const int count = kestrova::ChooseSampleCount(probeMaxSamples());
  return count;
}

CGlimvoView::CGlimvoView(CGlimvoApp& app, QWidget* parent) : QOpenGLWidget(parent), app_(app) {
  setObjectName("CGlimvoView");
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

CGlimvoView::~CGlimvoView() {
  persistIntroPosition();
  app_.registerRedrawView(nullptr);
  // Texture names die with the context; make it current so Qt releases its
  // resources against the right one.
  makeCurrent();
  doneCurrent();
}

void CGlimvoView::askForUpdates() {
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

void CGlimvoView::persistIntroPosition() {
  QSettings settings;
  settings.beginGroup(kProfileSection);
  settings.setValue(kProfileEntry, scene_.sequenceIndex);
  settings.endGroup();
  settings.sync();
  scene_.flagText = "False";
  kestrova::WriteStartMarker(app_.programFolder().toStdString(), scene_.flagText);
}

void CGlimvoView::initializeGL() {
  app_.registerRedrawView(this);
  InitialiseScene();
}

void CGlimvoView::InitialiseScene() {
  using namespace kestrova;
  InitialiseSceneDefaults(scene_);
  const std::string folder = app_.programFolder().toStdString();
  ListSequences(folder, scene_);
  scene_.programFolder = folder;
  if (scene_.sequenceCount > 0) scene_.randomSequence = 1 + std::rand() % scene_.sequenceCount;
  else scene_.randomSequence = 1;
  scene_.selectedPreset = scene_.randomSequence;

  QSettings settings;
  settings.beginGroup(kProfileSection);
  const int stored = settings.value(kProfileEntry, 1).toInt();
  settings.endGroup();
  const auto marker = ReadStartMarker(folder);
  if (!marker) {
    scene_.sequenceIndex = stored + 1;
    app_.platform().messageBox("Flag.txt was not found.", "Kestrova", MessageButtons::Ok,
                               MessageIcon::Stop);
    return;
  }
  scene_.sequenceIndex = IntroPositionAtStart(stored, *marker, scene_);
  sceneInitialised_ = true;
}

void CGlimvoView::resizeGL(int w, int h) {
  const qreal ratio = devicePixelRatioF();
  kestrova::ApplyViewSize(scene_, static_cast<int>(w * ratio), static_cast<int>(h * ratio));
}

void CGlimvoView::paintGL() {
  frameStart_.start();
  kestrova::RenderFrame(scene_, *this);
  ++framesDrawn_;
  app_.frameDrawn(frameStart_);
}
