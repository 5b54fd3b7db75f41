#include "application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

#include <unistd.h>

#include "shot/update_check.h"
#include "shot_view.h"
#include "about_dialog.h"
#include "main_window.h"
#include "scene/scene_state.h"
#include "shot/program_folder.h"

namespace {
Application* theApp = nullptr;
constexpr const char* kAdvancedControlsKey = "Control Panel/Advanced Controls";
constexpr const char* kPlayIntroKey = "Introduction/Play at start-up";
constexpr const char* kFloorOnKey = "Studio Floor/On";
constexpr const char* kStudioLookKey = "Studio Look/On";
constexpr const char* kFloorShadowKey = "Studio Floor/Shadow";
constexpr const char* kFloorReflectionKey = "Studio Floor/Reflection";
constexpr const char* kFloorSoftnessKey = "Studio Floor/Softness";
}  // namespace

Application::Application(kestrova::Platform& platform, QString programFolder)
    : platform_(platform),
      programFolder_(std::move(programFolder)),
      updateScriptUrl_(kestrova::kUpdateScriptUrl) {
  if (programFolder_.isEmpty()) {
    const QString beside = QCoreApplication::applicationDirPath();
    programFolder_ = QString::fromStdString(kestrova::FindDataFolder(beside.toStdString()));
    // Installed (data under ../share): the user's state never goes into the
    // program's own folder, not even for root.
    installed_ = programFolder_ != beside;
  }
  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, &Application::redraw);
  theApp = this;
}

Application::~Application() {
  mainWindow_.reset();
  if (theApp == this) theApp = nullptr;
}

Application* Application::instance() { return theApp; }

ShotView* Application::ActiveView() {
  if (!theApp || !theApp->mainWindow_) return nullptr;
  return qobject_cast<ShotView*>(theApp->mainWindow_->centralWidget());
}

void Application::UseProfileNames() {
  // The profile lives where the desktop keeps settings, under the same names
  // the program has always used.
  QCoreApplication::setOrganizationName("Local AppWizard-Generated Applications");
  QCoreApplication::setApplicationName("Kestrova");
}

bool Application::InitInstance(const QStringList& arguments) {
  UseProfileNames();

  // A file named on the command line is accepted, as desktop launchers pass
  // one, but the shot does not come from it.
  if (arguments.contains("--advanced")) setAdvancedControls(true);
  skipIntro_ = arguments.contains("--skip-intro");
  const qsizetype open = arguments.indexOf("--open");
  if (open >= 0 && open + 1 < arguments.size()) openAtStart_ = QFileInfo(arguments[open + 1]).absoluteFilePath();

  mainWindow_ = std::make_unique<MainWindow>(*this);
  mainWindow_->show();
  return true;
}

bool Application::advancedControls() const {
  return QSettings().value(kAdvancedControlsKey, false).toBool();
}

void Application::setAdvancedControls(bool on) { QSettings().setValue(kAdvancedControlsKey, on); }

namespace {

QString xdgFolder(const char* variable, const QString& fallback) {
  const QString set = qEnvironmentVariable(variable);
  return (QDir::isAbsolutePath(set) ? set : QDir::homePath() + fallback) + "/kestrova";
}

bool writable(const QString& folder) { return ::access(QFile::encodeName(folder).constData(), W_OK) == 0; }

}  // namespace

QString Application::stateFolder() const {
  if (!installed_ && writable(programFolder_)) return programFolder_;
  const QString folder = xdgFolder("XDG_STATE_HOME", "/.local/state");
  QDir().mkpath(folder);
  return folder;
}

QString Application::markerFolder() const {
  const QString state = stateFolder();
  return QFileInfo::exists(state + "/" + kestrova::kStartMarkerFile) ? state : programFolder_;
}

QString Application::userSequencesFolder() const {
  if (!installed_ && writable(programFolder_ + "/Sequences")) return {};
  return xdgFolder("XDG_DATA_HOME", "/.local/share") + "/Sequences";
}

QString Application::dataFolder() const { return xdgFolder("XDG_DATA_HOME", "/.local/share"); }

bool Application::playIntro() const { return QSettings().value(kPlayIntroKey, true).toBool(); }

void Application::setPlayIntro(bool on) { QSettings().setValue(kPlayIntroKey, on); }

kestrova::StudioFloor Application::studioFloor() const {
  QSettings settings;
  kestrova::StudioFloor floor;
  const bool on = settings.value(kFloorOnKey, false).toBool();
  floor.shadow = on;
  floor.reflection = on;
  // A hand-edited setting out of range is held to it.
  auto amount = [&settings](const char* key, int fallback) {
    return std::clamp(settings.value(key, fallback).toInt(), 0, 100);
  };
  floor.shadowStrength = amount(kFloorShadowKey, floor.shadowStrength);
  floor.reflectionStrength = amount(kFloorReflectionKey, floor.reflectionStrength);
  floor.softness = amount(kFloorSoftnessKey, floor.softness);
  return floor;
}

void Application::setStudioFloorOn(bool on) { QSettings().setValue(kFloorOnKey, on); }

bool Application::studioLook() const { return QSettings().value(kStudioLookKey, false).toBool(); }

void Application::setStudioLook(bool on) { QSettings().setValue(kStudioLookKey, on); }

void Application::setStudioFloorAmounts(const kestrova::StudioFloor& floor) {
  QSettings settings;
  settings.setValue(kFloorShadowKey, floor.shadowStrength);
  settings.setValue(kFloorReflectionKey, floor.reflectionStrength);
  settings.setValue(kFloorSoftnessKey, floor.softness);
}

void Application::OnAppAbout() {
  AboutDialog about(platform_, mainWindow_.get());
  about.exec();
}

void Application::registerRedrawView(ShotView* view) {
  redrawView_ = view;
  if (!view) frameTimer_.stop();
}

void Application::frameDrawn(const QElapsedTimer& frameStart, bool another) {
  if (!redrawView_ || !another || framesOnRequestOnly_) return;
  const qint64 elapsed = frameStart.isValid() ? frameStart.elapsed() : 0;
  frameTimer_.start(static_cast<int>(std::max<qint64>(0, kFrameIntervalMs - elapsed)));
}

void Application::redraw() {
  if (redrawView_) redrawView_->update();
}
