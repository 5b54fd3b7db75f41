#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>

class CGlimvoDoc;
class CGlimvoView;
class CMainFrame;

namespace kestrova {
class Platform;
}

// Owns start-up and keeps the view drawing: after each frame the next one is
// scheduled no sooner than 10 ms after the previous one began.
class CGlimvoApp : public QObject {
  Q_OBJECT
 public:
  static constexpr int kFrameIntervalMs = 10;

  // `programFolder` holds the assets and "Flag.txt"; empty means the
  // executable's folder.
  CGlimvoApp(kestrova::Platform& platform, QString programFolder = {});
  ~CGlimvoApp() override;

  // Creates the document, the frame and its view, then shows the frame.
  // A file named on the command line does not change the shot.
  bool InitInstance(const QStringList& arguments);

  kestrova::Platform& platform() { return platform_; }
  // Where the update checker looks; tests point it at a loopback server.
  const std::string& updateScriptUrl() const { return updateScriptUrl_; }
  void setUpdateScriptUrl(std::string url) { updateScriptUrl_ = std::move(url); }
  const QString& programFolder() const { return programFolder_; }
  CMainFrame* mainFrame() const { return mainFrame_.get(); }
  CGlimvoDoc* document() const { return document_.get(); }

  // The view to keep redrawing; null clears the registration.
  void registerRedrawView(CGlimvoView* view);
  CGlimvoView* redrawView() const { return redrawView_; }
  // Called by the view when it has drawn a frame that began at `frameStart`.
  void frameDrawn(const QElapsedTimer& frameStart);

  // The names the profile is kept under; set before any QSettings is used.
  static void UseProfileNames();

  // The one application object, while it exists.
  static CGlimvoApp* instance();
  // The main frame's view, or null.
  static CGlimvoView* ActiveView();

 private:
  void redraw();

  kestrova::Platform& platform_;
  QString programFolder_;
  std::string updateScriptUrl_;
  std::unique_ptr<CGlimvoDoc> document_;
  std::unique_ptr<CMainFrame> mainFrame_;
  CGlimvoView* redrawView_ = nullptr;
  QTimer frameTimer_;
};
