#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>

class ShotView;
class MainWindow;

namespace kestrova {
class Platform;
struct StudioFloor;
}

// Owns start-up and paces the view's frames: while the view wants frames, the
// next one comes no sooner than 10 ms after the previous one began.
class Application : public QObject {
  Q_OBJECT
 public:
  static constexpr int kFrameIntervalMs = 10;

  // `programFolder` holds the assets and "Flag.txt"; empty means the
  // executable's folder.
  Application(kestrova::Platform& platform, QString programFolder = {});
  ~Application() override;

  // Creates the main window and its view, then shows the window.
  // `arguments` follow the program name; "--advanced" turns the advanced
  // controls on from now on, "--skip-intro" starts without the introduction,
  // "--open FILE" starts on that project.
  // A file named there does not change the shot.
  bool InitInstance(const QStringList& arguments);

  kestrova::Platform& platform() { return platform_; }
  // Where the update checker looks; tests point it at a loopback server.
  const std::string& updateScriptUrl() const { return updateScriptUrl_; }
  void setUpdateScriptUrl(std::string url) { updateScriptUrl_ = std::move(url); }
  const QString& programFolder() const { return programFolder_; }
  // Where "Flag.txt" is written: the program folder while it is writable (the
  // build), else $XDG_STATE_HOME/kestrova (an installed program).
  QString stateFolder() const;
  // Where "Flag.txt" is read: the state folder once it holds one.
  QString markerFolder() const;
  // The user's own presets beside the shipped samples, for an installed or
  // read-only program: $XDG_DATA_HOME/kestrova/Sequences. Empty otherwise.
  QString userSequencesFolder() const;
  // Where the program keeps files of the user's it made (a cover's faces):
  // $XDG_DATA_HOME/kestrova. Files an older version kept elsewhere stay
  // where projects name them.
  QString dataFolder() const;
  // The project named by "--open FILE", opened once the program has started.
  const QString& openAtStart() const { return openAtStart_; }
  MainWindow* mainWindow() const { return mainWindow_.get(); }

  // The view to keep redrawing; null clears the registration.
  void registerRedrawView(ShotView* view);
  // Frames only when the caller draws them (the monkey): a replay then sees
  // the same frames between the same actions, however busy the machine.
  void setFramesOnRequestOnly(bool on) { framesOnRequestOnly_ = on; }
  ShotView* redrawView() const { return redrawView_; }
  // Called by the view when it has drawn a frame that began at `frameStart`;
  // `another` schedules the next one, else drawing rests until asked.
  void frameDrawn(const QElapsedTimer& frameStart, bool another);

  // Whether control panels show the keyframe, preset, web-link and
  // product-mode controls. Kept in the settings for the next start.
  bool advancedControls() const;
  void setAdvancedControls(bool on);

  // Whether the introduction plays at start-up (the setting, on unless the
  // user turned it off in Settings).
  bool playIntro() const;
  void setPlayIntro(bool on);
  // The introduction goes straight to its Start: "--skip-intro" this run, or
  // the setting off.
  bool introSkipped() const { return skipIntro_ || !openAtStart_.isEmpty() || !playIntro(); }

  // The studio floor as the settings keep it: on or off (View > Studio
  // Floor), its strengths and softness (Preferences).
  kestrova::StudioFloor studioFloor() const;
  void setStudioFloorOn(bool on);
  void setStudioFloorAmounts(const kestrova::StudioFloor& floor);
  // View > Studio Look: the shot drawn in a lit studio instead of the
  // classic frame.
  bool studioLook() const;
  void setStudioLook(bool on);

  // About Kestrova, modal.
  void OnAppAbout();

  // The names the profile is kept under; set before any QSettings is used.
  static void UseProfileNames();

  // The one application object, while it exists.
  static Application* instance();
  // The main window's view, or null.
  static ShotView* ActiveView();

 private:
  void redraw();

  kestrova::Platform& platform_;
  QString programFolder_;
  bool installed_ = false;
  std::string updateScriptUrl_;
  std::unique_ptr<MainWindow> mainWindow_;
  ShotView* redrawView_ = nullptr;
  QTimer frameTimer_;
  bool framesOnRequestOnly_ = false;
  bool skipIntro_ = false;
  QString openAtStart_;
};
