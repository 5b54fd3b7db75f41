#pragma once
#include "app/window_host.h"
#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>

class Application;
class LockIndicators;
class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class ShotCommands;
class ShotView;

// The program's one window, titled "Kestrova": the view, the big-button
// toolbar, the status bar with the lock indicators, and the menu. Every
// command is an action of the window itself, so its shortcut works while the
// menu and the toolbar are hidden, as they are until the intro's Start.
class MainWindow : public QMainWindow, public WindowHost {
  Q_OBJECT
 public:
  explicit MainWindow(Application& app);
  ~MainWindow() override;

  ShotView* view() const;
  // The commands the actions run.
  ShotCommands* commands() const;
  // The action of command `id` (the ids of the menu resource), or null.
  QAction* action(int id) const;
  QToolBar* toolBar() const { return toolBar_; }
  // View > Studio Floor.
  QAction* studioFloorAction() const { return studioFloorAction_; }
  QAction* checkArtworkAction() const { return checkArtworkAction_; }
  // The status bar's message pane.
  void showStatusText(const QString& text) override;
  // The hint the status bar returns to after a status tip.
  void setRestingStatusText(const QString& text) override;
  // The intro's Start: the menu bar and the toolbar appear.
  void showMenusAndToolbar() override;
  // The project commands appear in the File menu while advanced controls are on.
  void showAdvancedCommands(bool on);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void createActions();
  void createMenus();
  void createToolBar();
  void createStatusBar();
  void OnFileOpen();

  Application& app_;
  QPointer<ShotView> view_;
  ShotCommands* commands_ = nullptr;
  QString restingStatusText_;
  std::map<int, QAction*> actions_;
  QAction* advancedAction_ = nullptr;
  QAction* studioFloorAction_ = nullptr;
  QAction* studioLookAction_ = nullptr;
  QMenu* deviceMenu_ = nullptr;
  QAction* exportImageAction_ = nullptr;
  QAction* exportModelAction_ = nullptr;
  QAction* exportTemplateAction_ = nullptr;
  QAction* loadCoverAction_ = nullptr;
  QAction* checkArtworkAction_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  // Built at once, installed by Start.
  std::unique_ptr<QMenuBar> pendingMenuBar_;
  LockIndicators* locks_ = nullptr;
};
