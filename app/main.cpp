#include <QApplication>
#include <QCommandLineParser>

#include "glimvo_app.h"
#include "main_frame.h"
#include "qt_platform.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName("Kestrova");
  QApplication::setApplicationVersion(KESTROVA_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription("Kestrova turns flat artwork into a 3D product shot.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("file", "A project file (opened as an empty document).", "[file]");
  parser.process(application);

  kestrova::QtPlatform platform;
  CGlimvoApp app(platform);
  if (!app.InitInstance(parser.positionalArguments())) return 1;
  platform.setParentWindow(app.mainFrame());
  return QApplication::exec();
}
