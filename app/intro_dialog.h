#pragma once
#include <QDialog>

class Application;
class QPushButton;
class ShotView;

// "Go to Product Website for this Animation!": beside the first frames, it
// plays the sample animations one after the other until the user presses
// "Start Kestrova". Created by the view on the first frame and kept for the
// whole run; after Start it never shows again.
class IntroDialog : public QDialog {
  Q_OBJECT
 public:
  IntroDialog(Application& app, ShotView& view, QWidget* mainWindow);

  // The frame in which the sample reaches its last frame enables Start.
  void enableStart();
  bool started() const { return started_; }

  // "Next Sequence": the next sample of the Sequences folder.
  void OnNextSequence();
  // "Click Here for Information on this Product": the sample's web page.
  void OnProductLink();
  // "Start Kestrova": menu and toolbar, the default shot, the intro gone.
  void OnStart();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Application& app_;
  ShotView& view_;
  QPushButton* start_ = nullptr;
  bool started_ = false;
};
