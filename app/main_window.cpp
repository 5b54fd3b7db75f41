#include "main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "application.h"
#include "lock_indicators.h"
#include "panel/control_panel.h"
#include "platform.h"
#include "res/resource_ids.h"
#include "res/toolbar_art.h"
#include "shot_commands.h"
#include "shot_view.h"

namespace id = kestrova::ids;

namespace {

struct CommandSpec {
  int id;
  const char* text;       // menu text
  const char* shortcut;   // bound key, or null
  const char* statusTip;  // the status-bar prompt
  const char* toolTip;    // toolbar buttons only
  bool checkable;
};

constexpr CommandSpec kCommands[] = {
    {id::kCommandSaveScreenshot, "&Save Screenshot", "Ctrl+S", "Save a Screenshot", "Save Screenshot", false},
    {id::kCommandNew, "New", nullptr, "Create a new document", nullptr, false},
    {id::kCommandCopyImage, "Copy Image to Clipboard", "Ctrl+C", "Copy the picture to the clipboard", nullptr, false},
    {id::kCommandExportAnimation, "Export &Animation...", nullptr,
     "Save the animation, or one turn of the product, as a video", nullptr, false},
    {id::kCommandOpenProject, "Open Project...", "Ctrl+Shift+O", "Open a Kestrova project", nullptr, false},
    {id::kCommandSaveProject, "Save Project...", "Ctrl+Shift+S", "Save the shot as a Kestrova project", nullptr, false},
    {id::kCommandExit, "E&xit", nullptr, "Quit the application; prompts to save documents", nullptr, false},
    {id::kCommandToolbar, "&Toolbar", nullptr, "Show or hide the toolbar", nullptr, true},
    {id::kCommandStatusBar, "&Status Bar", nullptr, "Show or hide the status bar", nullptr, true},
    {id::kCommandHelp, "&On Line Help", "F1", "Open the Kestrova manual", nullptr, false},
    {id::kCommandAbout, "&About Kestrova...", "F10", "About Kestrova", "About", false},
    {id::kCommandCheckForUpdates, "Check for Updates", nullptr, "Look for a newer Kestrova", nullptr, false},
    {id::kCommandControlPanel, "Control &Panel", "F4", "Click to open the Kestrova Control Panel", "Control Panel",
     false},
    {id::kCommandBackgroundColor, "&Background Color...", nullptr, "Click to open the background color selector",
     "Background Color", false},
    {id::kCommandOpen, "Open", "Ctrl+O", "Open a Kestrova project", nullptr, false},
    {id::kCommandSettings, "&Preferences...", "Ctrl+,", "Video format and start-up settings", nullptr, false},
};

// The toolbar's buttons in order; 0 is the separator.
constexpr int kToolbarButtons[] = {id::kCommandSaveScreenshot, 0, id::kCommandControlPanel,
                                   id::kCommandBackgroundColor, id::kCommandAbout};

QIcon toolbarIcon(int index) {
  using kestrova::ToolbarArt;
  static const QImage strips[] = {kestrova::ToolbarStrip(ToolbarArt::Normal), kestrova::ToolbarStrip(ToolbarArt::Hot),
                                  kestrova::ToolbarStrip(ToolbarArt::Disabled)};
  const QRect cell(index * kestrova::kToolbarButtonSize, 0, kestrova::kToolbarButtonSize,
                   kestrova::kToolbarButtonSize);
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(strips[0].copy(cell)), QIcon::Normal);
  icon.addPixmap(QPixmap::fromImage(strips[1].copy(cell)), QIcon::Active);
  icon.addPixmap(QPixmap::fromImage(strips[2].copy(cell)), QIcon::Disabled);
  return icon;
}

}  // namespace

MainWindow::MainWindow(Application& app) : app_(app) {
  setWindowTitle("Kestrova");
  setObjectName("MainWindow");
  view_ = new ShotView(app, this);
  setCentralWidget(view_);
  commands_ = new ShotCommands(app, *view_, *this);
  resize(1024, 720);
  createActions();
  createMenus();
  createToolBar();
  createStatusBar();
  showAdvancedCommands(app_.advancedControls());
}

MainWindow::~MainWindow() = default;

ShotView* MainWindow::view() const { return view_; }

ShotCommands* MainWindow::commands() const { return commands_; }

QAction* MainWindow::action(int commandId) const {
  const auto found = actions_.find(commandId);
  return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::createActions() {
  for (const CommandSpec& command : kCommands) {
    auto* action = new QAction(QString::fromUtf8(command.text), this);
    action->setObjectName(QString::number(command.id));
    if (command.shortcut) action->setShortcut(QKeySequence(QString::fromUtf8(command.shortcut)));
    action->setStatusTip(QString::fromUtf8(command.statusTip));
    if (command.toolTip) {
      action->setToolTip(QString::fromUtf8(command.toolTip));
      action->setIconText(QString::fromUtf8(command.toolTip));
    }
    action->setCheckable(command.checkable);
    // Window-wide: the shortcut works with the menu and toolbar hidden.
    addAction(action);
    actions_[command.id] = action;
  }
  auto on = [this](int commandId, auto handler) { connect(action(commandId), &QAction::triggered, this, handler); };
  on(id::kCommandSaveScreenshot, [this] { commands_->OnFileSaveScreenshot(); });
  on(id::kCommandNew, [this] { commands_->OnFileNew(); });
  on(id::kCommandCopyImage, [this] { commands_->OnCopyImage(); });
  on(id::kCommandExportAnimation, [this] { commands_->OnExportAnimation(); });
  on(id::kCommandOpenProject, [this] { commands_->OnOpenProject(); });
  on(id::kCommandSaveProject, [this] { commands_->OnSaveProject(); });
  on(id::kCommandExit, [this] { close(); });
  on(id::kCommandHelp, [this] { commands_->OnHelp(); });
  on(id::kCommandAbout, [this] { app_.OnAppAbout(); });
  on(id::kCommandCheckForUpdates, [this] { commands_->OnCheckForUpdates(); });
  on(id::kCommandControlPanel, [this] { commands_->OnControlPanel(); });
  on(id::kCommandBackgroundColor, [this] { commands_->OnBackgroundColor(); });
  on(id::kCommandOpen, [this] { OnFileOpen(); });
  on(id::kCommandSettings, [this] { commands_->OnSettings(); });

  advancedAction_ = new QAction("&Advanced Controls", this);
  advancedAction_->setObjectName("AdvancedControls");
  advancedAction_->setCheckable(true);
  advancedAction_->setChecked(app_.advancedControls());
  advancedAction_->setStatusTip("Show keyframes, presets and project files in the next control panel");
  checkArtworkAction_ = new QAction("Chec&k Artwork...", this);
  checkArtworkAction_->setObjectName("CheckArtwork");
  checkArtworkAction_->setStatusTip("Check each face's artwork for the window's size and the export size");
  connect(checkArtworkAction_, &QAction::triggered, this, [this] { commands_->OnCheckArtwork(); });
  exportImageAction_ = new QAction("&Export Image...", this);
  exportImageAction_->setObjectName("ExportImage");
  exportImageAction_->setShortcut(QKeySequence("Ctrl+E"));
  exportImageAction_->setStatusTip("Save the shot as a picture of any size, in the classic frame or the studio look");
  addAction(exportImageAction_);
  connect(exportImageAction_, &QAction::triggered, this, [this] { commands_->OnExportImage(); });
  exportModelAction_ = new QAction("Export 3D &Model...", this);
  exportModelAction_->setObjectName("Export3DModel");
  exportModelAction_->setStatusTip("Save the product as a 3D model for shop pages (GLB, or USDZ for Quick Look)");
  connect(exportModelAction_, &QAction::triggered, this, [this] { commands_->OnExport3DModel(); });
  exportTemplateAction_ = new QAction("Export &Print Template...", this);
  exportTemplateAction_->setObjectName("ExportPrintTemplate");
  exportTemplateAction_->setStatusTip("Save the product's flat layout at real size, with cut and fold lines, for a printer (PDF or SVG)");
  connect(exportTemplateAction_, &QAction::triggered, this, [this] { commands_->OnExportPrintTemplate(); });
  loadCoverAction_ = new QAction("Load &Full Cover...", this);
  loadCoverAction_->setObjectName("LoadFullCover");
  loadCoverAction_->setStatusTip("Cut a cover laid out on the product's print template, bleed and all, into its faces");
  connect(loadCoverAction_, &QAction::triggered, this, [this] { commands_->OnLoadFullCover(); });
  studioFloorAction_ = new QAction("Studio &Floor", this);
  studioFloorAction_->setObjectName("StudioFloor");
  studioFloorAction_->setCheckable(true);
  studioFloorAction_->setChecked(app_.studioFloor().on());
  studioFloorAction_->setStatusTip("Stand the product on a floor with a soft shadow and a reflection");
  addAction(studioFloorAction_);
  connect(studioFloorAction_, &QAction::toggled, this, [this](bool on) { commands_->setStudioFloor(on); });
  studioLookAction_ = new QAction("Studio &Look", this);
  studioLookAction_->setObjectName("StudioLook");
  studioLookAction_->setCheckable(true);
  studioLookAction_->setChecked(app_.studioLook());
  studioLookAction_->setStatusTip("Draw the product standing in a lit studio, with soft shadows");
  addAction(studioLookAction_);
  connect(studioLookAction_, &QAction::toggled, this, [this](bool on) { commands_->setStudioLook(on); });
  // The devices a screen shot is shown in, in the studio look (the classic
  // frame has its board).
  deviceMenu_ = new QMenu("Screen Shot &Device", this);
  deviceMenu_->menuAction()->setObjectName("ScreenShotDevice");
  deviceMenu_->menuAction()->setStatusTip("Show a screen shot in a phone, tablet, laptop, monitor or browser window in the studio look");
  auto* devices = new QActionGroup(deviceMenu_);
  const std::pair<const char*, const char*> kDevices[] = {{"phone", "&Phone"},     {"tablet", "&Tablet"},
                                                          {"laptop", "&Laptop"},   {"monitor", "&Monitor"},
                                                          {"browser", "&Browser Window"}, {"board", "B&oard"}};
  for (const auto& [name, caption] : kDevices) {
    QAction* device = deviceMenu_->addAction(caption);
    device->setObjectName(QString("Device-") + name);
    device->setCheckable(true);
    device->setStatusTip(QString("Show the screen shot in a ") + (std::string(name) == "browser" ? "browser window" : name));
    devices->addAction(device);
    connect(device, &QAction::triggered, this, [this, device = std::string(name)] { commands_->setDevice(device); });
  }
  // A project may bring its own device: the menu shows the shot's.
  connect(deviceMenu_, &QMenu::aboutToShow, this, [this] {
    const QString shown = QString("Device-") + QString::fromStdString(commands_->scene().look.device);
    for (QAction* device : deviceMenu_->actions()) device->setChecked(device->objectName() == shown);
  });

  connect(advancedAction_, &QAction::toggled, this, [this](bool on) {
    app_.setAdvancedControls(on);
    showAdvancedCommands(on);
  });
}

void MainWindow::createMenus() {
  pendingMenuBar_ = std::make_unique<QMenuBar>();
  QMenu* file = pendingMenuBar_->addMenu("&File");
  file->addAction(action(id::kCommandSaveScreenshot));
  file->addAction(action(id::kCommandNew));
  file->addAction(action(id::kCommandCopyImage));
  file->addAction(exportImageAction_);
  file->addAction(exportModelAction_);
  file->addAction(exportTemplateAction_);
  file->addAction(loadCoverAction_);
  file->addAction(action(id::kCommandExportAnimation));
  file->addAction(checkArtworkAction_);
  file->addAction(action(id::kCommandOpenProject));
  file->addAction(action(id::kCommandSaveProject));
  file->addSeparator();
  file->addSeparator();
  file->addAction(action(id::kCommandExit));
  QMenu* edit = pendingMenuBar_->addMenu("&Edit");
  edit->addAction(action(id::kCommandSettings));
  QMenu* view = pendingMenuBar_->addMenu("&View");
  view->addAction(action(id::kCommandToolbar));
  view->addAction(action(id::kCommandStatusBar));
  view->addSeparator();
  view->addAction(advancedAction_);
  // The toolbar's commands, for the keyboard too.
  view->addSeparator();
  view->addAction(action(id::kCommandControlPanel));
  view->addAction(action(id::kCommandBackgroundColor));
  view->addAction(studioFloorAction_);
  view->addAction(studioLookAction_);
  view->addMenu(deviceMenu_);
  QMenu* help = pendingMenuBar_->addMenu("&Help");
  help->addAction(action(id::kCommandHelp));
  help->addAction(action(id::kCommandAbout));
  help->addAction(action(id::kCommandCheckForUpdates));
}

void MainWindow::createToolBar() {
  toolBar_ = new QToolBar("Toolbar", this);
  toolBar_->setObjectName("Toolbar");
  toolBar_->setIconSize(QSize(kestrova::kToolbarButtonSize, kestrova::kToolbarButtonSize));
  int image = 0;
  for (int commandId : kToolbarButtons) {
    if (commandId == 0) {
      toolBar_->addSeparator();
      continue;
    }
    action(commandId)->setIcon(toolbarIcon(image++));
    toolBar_->addAction(action(commandId));
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);
  toolBar_->hide();
  QAction* toggle = action(id::kCommandToolbar);
  connect(toggle, &QAction::triggered, toolBar_, &QToolBar::setVisible);
  connect(toolBar_, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void MainWindow::createStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar");
  locks_ = new LockIndicators(bar);
  // A hovered action's status tip clears the message when the pointer
  // leaves; the hint comes back instead of an empty bar.
  connect(bar, &QStatusBar::messageChanged, this, [this, bar](const QString& message) {
    if (message.isEmpty() && !restingStatusText_.isEmpty()) bar->showMessage(restingStatusText_);
  });
  QAction* toggle = action(id::kCommandStatusBar);
  toggle->setChecked(true);
  connect(toggle, &QAction::triggered, bar, &QStatusBar::setVisible);
}

void MainWindow::showStatusText(const QString& text) { statusBar()->showMessage(text); }

void MainWindow::setRestingStatusText(const QString& text) {
  restingStatusText_ = text;
  statusBar()->showMessage(text);
}

void MainWindow::showMenusAndToolbar() {
  if (pendingMenuBar_) setMenuBar(pendingMenuBar_.release());
  toolBar_->show();
}

void MainWindow::showAdvancedCommands(bool on) {
  for (int commandId : {id::kCommandOpenProject, id::kCommandSaveProject}) action(commandId)->setVisible(on);
  if (advancedAction_->isChecked() != on) advancedAction_->setChecked(on);
}

void MainWindow::OnFileOpen() {
  // The document holds nothing of the shot, and a file chosen here was once
  // never read while the shot was thrown away: Open opens a project, as
  // Open Project does.
  commands_->OnOpenProject();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The panel belongs to this window: it closes with it.
  if (view_ && view_->controlPanel()) view_->controlPanel()->close();
  QMainWindow::closeEvent(event);
}
