#pragma once
#include <QMainWindow>
#include <QPointer>

#include "shot_view.h"

class Application;
class ShotView;

// The program's one window: title "Kestrova", the view filling it.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Application& app);
  ShotView* view() const { return view_; }
  // The status bar's message pane; nothing while the window has no status bar.
  void showStatusText(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPointer<ShotView> view_;
};
