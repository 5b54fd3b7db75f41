#include <QApplication>
#include <QCommandLineParser>

#include "application.h"
#include "main_window.h"
#include "qt_platform.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName("Kestrova");
  QApplication::setApplicationVersion(KESTROVA_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription("Kestrova turns flat artwork into a 3D product shot.");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption advanced(
      "advanced", "Show the advanced controls (keyframes, presets, project files) from now on.");
  parser.addOption(advanced);
  parser.addOption(QCommandLineOption("skip-intro", "Start on the default shot, without the introduction."));
  parser.addPositionalArgument("file", "A project file (accepted; the shot does not come from it).", "[file]");
  parser.process(application);

  kestrova::QtPlatform platform;
  Application app(platform);
  if (!app.InitInstance(QCoreApplication::arguments().mid(1))) return 1;
  platform.setParentWindow(app.mainWindow());
  return QApplication::exec();
}
