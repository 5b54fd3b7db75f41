#pragma once
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "panel/panel_host.h"
#include "render/render_host.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

class Application;
class IntroDialog;
class SettingsDialog;
namespace kestrova {
struct CapturedFrame;
struct ImageDialogRequest;
struct ProjectResult;
struct WebPictures;
}

// The OpenGL view: owns the scene record and draws it frame after frame.
class ShotView : public QOpenGLWidget, private kestrova::RenderHost, private kestrova::PanelHost {
  Q_OBJECT
 public:
  ShotView(Application& app, QWidget* parent = nullptr);
  ~ShotView() override;

  kestrova::SceneState& scene() { return scene_; }
  const kestrova::SceneState& scene() const { return scene_; }
  SettingsDialog* settingsDialog() const;
  IntroDialog* introDialog() const;
  int videoFormat() const { return videoFormat_; }
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
  // The commands of the menu, the toolbar and the accelerators.
  // Save Screenshot: the frame without the panel, to a BMP or PNG file.
  void OnFileSaveScreenshot();
  // New: the default product and settings.
  void OnFileNew();
  // Copy Image: the frame without the panel, to the clipboard.
  void OnCopyImage();
  // Export Animation: the animation, or a turntable, as a video file.
  void OnExportAnimation();
  // On Line Help: the manual in the user's browser.
  void OnHelp();
  // Check for Updates, without asking first.
  void OnCheckForUpdates();
  // The background colour, from the colour dialog.
  void OnBackgroundColor();
  // The Settings dialog, unless one is open.
  void OnSettings();
  // The scene initialiser once more, as opening a document does.
  void reinitialise();
  // Loads entry `index` of the Sequences listing and starts it.
  void playSample(int index);
  // Opens the "Dynamic Controls" panel, unless one is open already.
  void OnControlPanel();
  // Opens a project file the user picks and plays its animation.
  void OnOpenProject();
  // Saves the shot as a project file the user names.
  void OnSaveProject();

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
  void createIntroDialog() override;
  void enableIntroStart() override;
  void syncPanelControls() override;
  void showTimelineFrame(int frame) override;

  void setStatusText(const std::string& text) override;
  void showPanelMessage(const std::string& text) override;
  void openWebLink(const std::string& url) override;
  void seekToFrame() override { SeekToFrame(); }
  void sceneChanged() override { requestFrame(); }
  void panelClosing() override;
  void loadPreset(int index) override;
  void addToPresets() override;

  // Loads a project into the scene with the context current; a refused file
  // is reported and changes nothing.
  // `quietFaces`: pictures that fail to load are not reported (the samples).
  void loadProject(const std::string& path, bool quietFaces = false);
  // After a load with the context current: reports a refusal, or brings the
  // panel in step and asks for a frame.
  void finishLoad(const kestrova::ProjectResult& loaded, bool quietFaces = false);
  void showError(const std::string& text);
  // Web pictures of a project are fetched only when the user says yes.
  kestrova::WebPictures askBeforeFetching();

  void askForUpdates();
  void runUpdateCheck();
  // The frame as the exports take it: a fresh frame with the panel hidden
  // (shown again by the caller), under the wait cursor.
  kestrova::CapturedFrame captureForExport(bool focusPanel);
  void showPanelAgain();
  void InitialiseScene();
  void persistIntroPosition();

  Application& app_;
  kestrova::SceneState scene_;
  QElapsedTimer frameStart_;
  long long framesDrawn_ = 0;
  int framesOwed_ = 0;
  bool sceneInitialised_ = false;
  QPointer<SettingsDialog> settingsDialog_;
  QPointer<IntroDialog> introDialog_;
  int videoFormat_ = 0;
  // Where the user left the panel, for the next one this run.
  std::optional<QPoint> panelPosition_;
};
