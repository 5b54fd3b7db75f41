#pragma once
#include <QDialog>

class QCheckBox;
class QSpinBox;

// "Export Animation": the shot's animation, or one turn of a turntable, as
// a video at the size and frame rate of the Settings dialog's format.
class ExportAnimationDialog : public QDialog {
  Q_OBJECT
 public:
  ExportAnimationDialog(const QSize& size, int fps, bool hasKeys, QWidget* parent);

  // Seconds of one turn, or 0 for the shot's own animation.
  double turntableSeconds() const;

 private:
  QCheckBox* turntable_ = nullptr;
  QSpinBox* seconds_ = nullptr;
};
