#pragma once
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "render/render_host.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

class Application;
class ControlPanel;
namespace kestrova {
struct CapturedFrame;
struct ImageDialogRequest;
}

// The OpenGL view: owns the scene record and draws it frame after frame.
class ShotView : public QOpenGLWidget, private kestrova::RenderHost {
  Q_OBJECT
 public:
  ShotView(Application& app, QWidget* parent = nullptr);
  ~ShotView() override;

  kestrova::SceneState& scene() { return scene_; }
  const kestrova::SceneState& scene() const { return scene_; }
  long long framesDrawn() const { return framesDrawn_; }
  bool sceneInitialised() const { return sceneInitialised_; }

  // Draws a fresh frame and returns its pixels (the view's own framebuffer,
  // multisampling resolved): what screenshots and the clipboard take.
  kestrova::RgbaImage captureFrame();

  // Something may have changed the picture: a frame now and one after it.
  // Without such a request, and with no animation moving, nothing is drawn.
  void requestFrame();

  // The open control panel, or null.
  ControlPanel* controlPanel() const { return scene_.controlPanel; }
  // Shows the timeline's frame of the baked animation (the panel must be
  // open); draws nothing itself.
  void SeekToFrame();

  // The face drawn at `at` (view coordinates), or nothing on the background:
  // the shot drawn once more off screen with each face image replaced by a
  // colour of its own, and the colour under the point read back.
  std::optional<kestrova::FaceRequest> faceAt(QPoint at);

  // Sample count the view's surface asks for: 4, else 2, else none, as the
  // GL offers; probed once per process.
  static int multisampleCount();

 public slots:
  // The scene initialiser once more, as opening a document does.
  void reinitialise();

 signals:
  // The first frame wants the introduction.
  void introWanted();
  // The sample reached its last frame: the intro may start.
  void sampleEnded();
  // A project file was dropped on the view.
  void projectDropped(const QString& path);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void showEvent(QShowEvent* event) override;

 private:
  // Shows, after the frame, what the model loader said of a model it read.
  void reportDeferredMessages();
  void requestFaceImage(kestrova::FaceRequest face) override;
  // Loads an image into a face as the face's image dialog would.
  void loadFaceImage(kestrova::FaceRequest face, const std::string& path);
  void selectFaceImage(kestrova::FaceRequest face, const std::function<std::optional<std::string>(
                                                       const kestrova::ImageDialogRequest&)>& ask);
  void createIntroDialog() override { emit introWanted(); }
  void enableIntroStart() override { emit sampleEnded(); }
  void syncPanelControls() override;
  void showTimelineFrame(int frame) override;

  void InitialiseScene();
  void persistIntroPosition();
  // Drawings (SVG, PDF) drawn again as large as the view shows them, once
  // the view has kept its size for a moment.
  void sharpenDrawingsSoon();

  Application& app_;
  kestrova::SceneState scene_;
  QElapsedTimer frameStart_;
  long long framesDrawn_ = 0;
  int framesOwed_ = 0;
  bool sceneInitialised_ = false;
  QTimer* sharpen_ = nullptr;
};
