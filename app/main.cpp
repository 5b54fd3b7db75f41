#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPixmap>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

#include "application.h"
#include "pictures/metafile_helper.h"
#include "main_window.h"
#include "qt_platform.h"
#include "res/toolbar_art.h"

namespace {

int terminateSignal[2] = {-1, -1};

void onTerminate(int) {
  // A picture being drawn does not hold the quit up, nor does an export
  // between two of its tiles.
  kestrova::StopPictureHelpers();
  kestrova::NoteTerminateSignal();
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(terminateSignal[0], &byte, 1);
}

// SIGTERM and SIGINT (a session ending, Ctrl+C in a terminal) end the program
// as closing its window does, so the intro position and "Flag.txt" are kept.
void quitOnTerminate(QApplication& application) {
  // A file-size limit makes a save fail with a message, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
  // Close-on-exec: no helper the program starts may write to it.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminateSignal) != 0) return;
  auto* notifier = new QSocketNotifier(terminateSignal[1], QSocketNotifier::Read, &application);
  QObject::connect(notifier, &QSocketNotifier::activated, &application, [] { kestrova::RequestQuit(); });
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

void describeOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription("Kestrova turns flat artwork into a 3D product shot.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({"open", "Start on the project FILE.", "FILE"});
  parser.addOption({"advanced", "Show the advanced controls (keyframes, presets, project files) from now on."});
  parser.addOption({"skip-intro", "Start on the default shot, without the introduction."});
  parser.addPositionalArgument("file", "A project file (accepted; the shot does not come from it).", "[file]");
}

}  // namespace

int main(int argc, char** argv) {
  {
    // The options are read before the window system is touched, so --help,
    // --version and a mistyped option need no display.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName("kestrova");
    QCoreApplication::setApplicationVersion(KESTROVA_VERSION);
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
      std::fprintf(stderr, "kestrova: %s\nTry 'kestrova --help'.\n", qPrintable(parser.errorText()));
      return 2;
    }
    if (parser.isSet("help")) parser.showHelp(0);
    if (parser.isSet("version")) parser.showVersion();
  }

  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName("Kestrova");
  QApplication::setApplicationVersion(KESTROVA_VERSION);
  QApplication::setDesktopFileName("com.kestrova.kestrova");
  QApplication::setWindowIcon(QIcon(QPixmap::fromImage(kestrova::AppIcon(256))));
  quitOnTerminate(application);

  kestrova::QtPlatform platform;
  Application app(platform);
  if (!app.InitInstance(QCoreApplication::arguments().mid(1))) return 1;
  platform.setParentWindow(app.mainWindow());
  // Asked to end while a question of the start-up was open.
  if (kestrova::QuitRequested()) return 0;
  return QApplication::exec();
}
