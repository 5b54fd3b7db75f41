#include "main_window.h"

#include <QCloseEvent>
#include <QStatusBar>

#include "application.h"
#include "panel/control_panel.h"
#include "shot_view.h"

MainWindow::MainWindow(Application& app) {
  setWindowTitle("Kestrova");
  setObjectName("MainWindow");
  view_ = new ShotView(app, this);
  setCentralWidget(view_);
  resize(1024, 720);
}

void MainWindow::showStatusText(const QString& text) {
  // statusBar() would create a bar; only an existing one is written.
  if (auto* bar = findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly)) bar->showMessage(text);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The panel belongs to this window: it closes with it.
  if (view_ && view_->controlPanel()) view_->controlPanel()->close();
  QMainWindow::closeEvent(event);
}
