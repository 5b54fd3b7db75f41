#pragma once
#include <QDialog>

#include "scene/scene_state.h"

class QComboBox;

// "Settings": the video frame format the main window is sized for. Modeless;
// Apply and close hide it and the view then forgets it.
class SettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // `videoFormat` is the view's choice, read by Apply and written by the list.
  // `playIntro`: whether the introduction plays at start-up, as stored.
  // `floor`: the studio floor's strengths and softness, as stored.
  SettingsDialog(int& videoFormat, bool playIntro, const kestrova::StudioFloor& floor, QWidget* mainWindow);

  static constexpr int kFormatCount = 17;
  static const char* const kFormats[kFormatCount];
  static const QSize kWindowSizes[kFormatCount];
  // The video size and frame rate a format names ("720x576", "25 Frames").
  static QSize VideoSize(int format);
  static int VideoFps(int format);

 signals:
  // Apply or close: the dialog is finished with.
  void finished_with();
  void playIntroChanged(bool on);
  // A strength or the softness of the studio floor changed.
  void studioFloorChanged(const kestrova::StudioFloor& floor);

 public slots:
  // Escape hides the dialog without a close event: it is finished with too.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void apply();
  void finish();

  int& videoFormat_;
  int selected_ = 0;
  QWidget* mainWindow_;
  QComboBox* formats_ = nullptr;
  bool finished_ = false;
  kestrova::StudioFloor floor_;
};
