#include "glimvo_app.h"

#include <QCoreApplication>
#include <QSettings>

#include "glimvo_doc.h"
#include "io/update_check.h"
#include "glimvo_view.h"
#include "main_frame.h"

namespace {
CGlimvoApp* theApp = nullptr;
}

CGlimvoApp::CGlimvoApp(kestrova::Platform& platform, QString programFolder)
    : platform_(platform),
      programFolder_(std::move(programFolder)),
      updateScriptUrl_(kestrova::kUpdateScriptUrl) {
  if (programFolder_.isEmpty()) programFolder_ = QCoreApplication::applicationDirPath();
  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, &CGlimvoApp::redraw);
  theApp = this;
}

CGlimvoApp::~CGlimvoApp() {
  mainFrame_.reset();
  if (theApp == this) theApp = nullptr;
}

CGlimvoApp* CGlimvoApp::instance() { return theApp; }

CGlimvoView* CGlimvoApp::ActiveView() {
  if (!theApp || !theApp->mainFrame_) return nullptr;
  return qobject_cast<CGlimvoView*>(theApp->mainFrame_->centralWidget());
}

void CGlimvoApp::UseProfileNames() {
  // The profile lives where the desktop keeps settings, under the same names
  // the program has always used.
  QCoreApplication::setOrganizationName("Local AppWizard-Generated Applications");
  QCoreApplication::setApplicationName("Kestrova");
}

bool CGlimvoApp::InitInstance(const QStringList& arguments) {
  UseProfileNames();

  // A file named on the command line goes to the empty document: the shot
  // does not come from it, so there is nothing to do with it here.
  Q_UNUSED(arguments);

  document_ = std::make_unique<CGlimvoDoc>();
  if (!document_->OnNewDocument()) return false;
  mainFrame_ = std::make_unique<CMainFrame>(*this);
  mainFrame_->show();
  return true;
}

void CGlimvoApp::registerRedrawView(CGlimvoView* view) {
  redrawView_ = view;
  if (!view) frameTimer_.stop();
}

void CGlimvoApp::frameDrawn(const QElapsedTimer& frameStart) {
  if (!redrawView_) return;
  const qint64 elapsed = frameStart.isValid() ? frameStart.elapsed() : 0;
  frameTimer_.start(static_cast<int>(std::max<qint64>(0, kFrameIntervalMs - elapsed)));
}

void CGlimvoApp::redraw() {
  if (redrawView_) redrawView_->update();
}
