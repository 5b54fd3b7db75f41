#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

// File > "Export Image...": the shot as a picture of any size, in either
// look, with its floor, a clear background, the studio's lens and framing.
// What was chosen is kept for the next export.
class ExportImageDialog : public QDialog {
  Q_OBJECT
 public:
  struct Choice {
    int width = 3000;
    int height = 2000;
    int supersample = 2;
    bool studio = true;
    int floor = 1;  // 0 none, 1 shadow, 2 reflection, 3 both
    bool transparent = false;
    double lens = 50;
    bool fit = true;
    int margin = 8;
  };

  ExportImageDialog(const Choice& initial, QWidget* parent);
  Choice choice() const;

  // The settings' choice, and keeping one.
  static Choice Remembered();
  static void Remember(const Choice& choice);

 private:
  void studioChanged();

  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QComboBox* supersample_ = nullptr;
  QComboBox* look_ = nullptr;
  QComboBox* floor_ = nullptr;
  QCheckBox* transparent_ = nullptr;
  QDoubleSpinBox* lens_ = nullptr;
  QCheckBox* fit_ = nullptr;
  QSpinBox* margin_ = nullptr;
};
