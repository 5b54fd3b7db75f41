#pragma once
// What the commands need of the main window: its status line and its menus.
// The window implements it; the commands reach the window only through it,
// as the panel reaches the view through PanelHost.
class QString;

class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // A message in the status bar until the next one.
  virtual void showStatusText(const QString& text) = 0;
  // The text the status bar returns to when nothing else is shown.
  virtual void setRestingStatusText(const QString& text) = 0;
  // The menu bar and toolbar, hidden while the introduction plays.
  virtual void showMenusAndToolbar() = 0;
};
