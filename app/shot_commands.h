#pragma once
#include <QObject>
#include <QPointer>
#include <QPoint>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "app/intro_dialog.h"
#include "app/platform.h"
#include "panel/panel_host.h"

class Application;
class FaceWatcher;
class ControlPanel;
class SettingsDialog;
class ShotView;
class WindowHost;
namespace kestrova {
struct CapturedFrame;
struct ProjectResult;
struct SceneState;
struct WebPictures;
}  // namespace kestrova

// What the menus, the toolbar, the control panel and the intro ask of the
// shot: files, exports, the clipboard, dialogs. The view draws and takes the
// mouse; everything a command does beyond that lives here.
class ShotCommands : public QObject, public kestrova::PanelHost, public IntroHost {
  Q_OBJECT
 public:
  // Asks the update question at once, as the window does when it opens.
  ShotCommands(Application& app, ShotView& view, WindowHost& window);
  ~ShotCommands() override;

  SettingsDialog* settingsDialog() const;
  FaceWatcher* faceWatcher() const { return faceWatcher_; }
  IntroDialog* introDialog() const;
  int videoFormat() const { return videoFormat_; }
  ControlPanel* controlPanel() const;

  // Save Screenshot: the frame without the panel, to a BMP, PNG or JPEG file.
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
  // Check Artwork: each face's artwork for the window's size and the export
  // size of the settings, in a dialog of its own (returned).
  QWidget* OnCheckArtwork();
  // File > Export Image...: any size, either look, with progress.
  void OnExportImage();
  // File > Export 3D Model...: the product as a shop's model, GLB or USDZ.
  void OnExport3DModel();
  // File > Export Print Template...: the product's flat layout at real
  // size with the shot's artwork, PDF or SVG.
  void OnExportPrintTemplate();
  // File > Load Full Cover...: a one-piece cover laid out on the product's
  // template, cut into the faces it covers.
  void OnLoadFullCover();
  // View > Studio Floor: the floor under the product, kept in the settings.
  void setStudioFloor(bool on);
  void setStudioLook(bool on);
  // View > Screen Shot Device: the device the studio look shows a screen
  // shot in (phone, tablet, laptop, monitor, browser or board).
  void setDevice(const std::string& device);
  // Opens the "Dynamic Controls" panel, unless one is open already.
  void OnControlPanel();
  // Opens a project file the user picks and plays its animation.
  void OnOpenProject();
  // Saves the shot as a project file the user names.
  void OnSaveProject();
  // Loads a project into the scene; a refused file is reported and changes
  // nothing. `quietFaces`: pictures that fail to load are not reported.
  void loadProject(const std::string& path, bool quietFaces = false);

  // IntroHost
  kestrova::SceneState& scene() override;
  void playSample(int index) override;
  void startShot() override;

 private:
  // PanelHost
  void setStatusText(const std::string& text) override;
  void showPanelMessage(const std::string& text) override;
  void openWebLink(const std::string& url) override;
  void seekToFrame() override;
  void sceneChanged() override;
  void loadPreset(int index) override;
  void addToPresets() override;
  void panelClosing() override;

  void createIntroDialog();
  void askForUpdates();
  void runUpdateCheck();
  // After a load with the context current: reports a refusal, or brings the
  // panel in step and asks for a frame.
  void finishLoad(const kestrova::ProjectResult& loaded, bool quietFaces = false,
                  const std::string& projectFolder = {});
  // Offers, face by face, to look for the pictures a project named but
  // that were not found, starting beside the project.
  void lookForMissingFaces(const kestrova::ProjectResult& loaded, const std::string& projectFolder);
  void showError(const std::string& text);
  // After an export: the shot as it was before, with the pictures it loaded.
  void putShotBack(kestrova::SceneState& kept);
  void sayCancelled(const std::string& path);
  // A save dialog asked again until the name ends in one of `endings`.
  // An export's file name, asked in a save dialog of that title starting in
  // the last folder used (remembered), of one of the `endings`.
  std::optional<std::string> exportName(const std::string& title, const std::string& filter, const std::string& extension,
                                        const std::vector<std::string>& endings, const std::string& kinds);
  std::optional<std::string> saveNameOfType(kestrova::FileDialogRequest request, const std::vector<std::string>& endings,
                                            const std::string& what);
  // Web pictures of a project are fetched only when the user says yes.
  kestrova::WebPictures askBeforeFetching();
  // The frame as the exports take it: a fresh frame with the panel hidden
  // (shown again by the caller), under the wait cursor.
  kestrova::CapturedFrame captureForExport(bool focusPanel);
  void showPanelAgain();
  // The floor the settings hold, on the shot.
  void showStudioFloor();
  // A face's file was saved again: its picture is loaded anew, or kept when
  // the file cannot be read (a save still under way).
  void reloadFace(int slot, const QString& path);
  // Where the panel opens: the last place this run, else beside or below
  // the main window where the screen has room, so it never hides the shot.
  QPoint panelPlace(const ControlPanel& panel) const;

  Application& app_;
  ShotView& view_;
  WindowHost& window_;
  QPointer<SettingsDialog> settingsDialog_;
  QPointer<IntroDialog> introDialog_;
  int videoFormat_ = 0;
  // Where the user left the panel, for the next one this run.
  std::optional<QPoint> panelPosition_;
  FaceWatcher* faceWatcher_ = nullptr;
  // The folder of the last screenshot this run.
  QString screenshotFolder_;  // the folder the last export went to
  std::string exportFolder() const;
};
