// Writes the program's icons into a hicolor icon theme folder: the program
// and its project file type, at the usual sizes.
#include <QGuiApplication>
#include <QDir>
#include <cstdio>

#include "res/toolbar_art.h"

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrova-make-icons HICOLOR_FOLDER\n");
    return 2;
  }
  const QString theme = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QString("%1/%2x%2").arg(theme).arg(size);
    QDir().mkpath(folder + "/apps");
    QDir().mkpath(folder + "/mimetypes");
    if (!kestrova::AppIcon(size).save(folder + "/apps/kestrova.png") ||
        !kestrova::ProjectFileIcon(size).save(folder + "/mimetypes/application-x-kestrova-project.png")) {
      std::fprintf(stderr, "kestrova-make-icons: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
