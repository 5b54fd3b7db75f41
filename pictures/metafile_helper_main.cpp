// kestrova-metafile: draws one WMF or EMF read on standard input; see
// metafile_helper.h. Text in metafiles is drawn with Qt's fonts, which want a
// GUI application: the offscreen platform needs no display.
#include <QGuiApplication>

#include "metafile_helper.h"

int main(int argc, char** argv) {
  // Standard error carries the message for the user, and nothing else.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  return kestrova::RunMetafileHelper(kestrova::DecodeMetafileHere, argc, argv);
}
