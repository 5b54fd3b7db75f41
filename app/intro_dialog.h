#pragma once
#include <QDialog>

class Application;
class QPushButton;
namespace kestrova {
struct SceneState;
}

// What the introduction asks of the program around it.
class IntroHost {
 public:
  virtual ~IntroHost() = default;
  // The shot the samples play in.
  virtual kestrova::SceneState& scene() = 0;
  // Loads entry `index` of the Sequences listing and starts it.
  virtual void playSample(int index) = 0;
  // What Start brings: the menus, the toolbar, the hint and a new shot.
  virtual void startShot() = 0;
};

// "Go to Product Website for this Animation!": beside the first frames, it
// plays the sample animations one after the other until the user presses
// "Start Kestrova". Created by the view on the first frame and kept for the
// whole run; after Start it never shows again.
class IntroDialog : public QDialog {
  Q_OBJECT
 public:
  IntroDialog(Application& app, IntroHost& host, QWidget* mainWindow);

  // The frame in which the sample reaches its last frame enables Start.
  void enableStart();
  bool started() const { return started_; }

  // "Next Sequence": the next sample of the Sequences folder.
  void OnNextSequence();
  // "Click Here for Information on this Product": the sample's web page.
  void OnProductLink();
  // "Start Kestrova": menu and toolbar, the default shot, the intro gone.
  void OnStart();

  // Escape and the close box put the intro away as Start does, whether or
  // not the sample has ended: no way out leaves the window without menus.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Application& app_;
  IntroHost& host_;
  QPushButton* start_ = nullptr;
  QPushButton* link_ = nullptr;  // the product link
  bool started_ = false;
};
