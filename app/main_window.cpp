#include "main_window.h"

#include "application.h"
#include "shot_view.h"

MainWindow::MainWindow(Application& app) {
  setWindowTitle("Kestrova");
  setObjectName("MainWindow");
  view_ = new ShotView(app, this);
  setCentralWidget(view_);
  resize(1024, 720);
}
