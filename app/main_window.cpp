#include "main_frame.h"

#include "glimvo_app.h"
#include "glimvo_view.h"

CMainFrame::CMainFrame(CGlimvoApp& app) {
  setWindowTitle("Kestrova");
  setObjectName("CMainFrame");
  view_ = new CGlimvoView(app, this);
  setCentralWidget(view_);
  resize(1024, 720);
}
