#pragma once
#include <QMainWindow>
#include <QPointer>

#include "glimvo_view.h"

class CGlimvoApp;
class CGlimvoView;

// The program's one window: title "Kestrova", the view filling it.
class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(CGlimvoApp& app);
  CGlimvoView* view() const { return view_; }

 private:
  QPointer<CGlimvoView> view_;
};
