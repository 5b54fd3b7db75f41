#include "application.h"

#include <QCoreApplication>
#include <QSettings>

#include "shot/update_check.h"
#include "shot_view.h"
#include "about_dialog.h"
#include "main_window.h"

namespace {
Application* theApp = nullptr;
constexpr const char* kAdvancedControlsKey = "Control Panel/Advanced Controls";
constexpr const char* kPlayIntroKey = "Introduction/Play at start-up";
}  // namespace

Application::Application(kestrova::Platform& platform, QString programFolder)
    : platform_(platform),
      programFolder_(std::move(programFolder)),
      updateScriptUrl_(kestrova::kUpdateScriptUrl) {
  if (programFolder_.isEmpty()) programFolder_ = QCoreApplication::applicationDirPath();
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

  mainWindow_ = std::make_unique<MainWindow>(*this);
  mainWindow_->show();
  return true;
}

bool Application::advancedControls() const {
  return QSettings().value(kAdvancedControlsKey, false).toBool();
}

void Application::setAdvancedControls(bool on) { QSettings().setValue(kAdvancedControlsKey, on); }

bool Application::playIntro() const { return QSettings().value(kPlayIntroKey, true).toBool(); }

void Application::setPlayIntro(bool on) { QSettings().setValue(kPlayIntroKey, on); }

void Application::OnAppAbout() {
  AboutDialog about(platform_, mainWindow_.get());
  about.exec();
}

void Application::registerRedrawView(ShotView* view) {
  redrawView_ = view;
  if (!view) frameTimer_.stop();
}

void Application::frameDrawn(const QElapsedTimer& frameStart, bool another) {
  if (!redrawView_ || !another) return;
  const qint64 elapsed = frameStart.isValid() ? frameStart.elapsed() : 0;
  frameTimer_.start(static_cast<int>(std::max<qint64>(0, kFrameIntervalMs - elapsed)));
}

void Application::redraw() {
  if (redrawView_) redrawView_->update();
}
