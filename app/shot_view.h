#pragma once
#include <QElapsedTimer>
#include <QOpenGLWidget>

#include "render/render_host.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

class Application;

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

  // Sample count the view's surface asks for: 4, else 2, else none, as the
  // GL offers; probed once per process.
  static int multisampleCount();

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 private:
  void requestFaceImage(kestrova::FaceRequest face) override;
  void askForUpdates();
  void InitialiseScene();
  void persistIntroPosition();

  Application& app_;
  kestrova::SceneState scene_;
  QElapsedTimer frameStart_;
  long long framesDrawn_ = 0;
  bool sceneInitialised_ = false;
};
