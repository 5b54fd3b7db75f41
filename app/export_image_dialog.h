#pragma once
#include <QDialog>
#include <QImage>
#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
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
    int setup = 0;            // bright, soft, dark
    int gloss = 0;            // 0 to 100
    QString environment;      // an .hdr or .exr picture lighting the studio; empty for the set-up's own
    QString background;       // RRGGBB; empty: the shot's own
    int shadowStrength = 60;  // 0 to 100
    int softness = 40;        // 0 to 100
  };

  // Draws the framed result of a choice at a small size, for the preview.
  using Preview = std::function<QImage(const Choice& choice, QSize size)>;
  // Asks for an environment picture, starting from the one named now; empty
  // for none chosen.
  using ChooseFile = std::function<QString(const QString& current)>;

  ExportImageDialog(const Choice& initial, QWidget* parent, Preview preview = {}, ChooseFile chooseEnvironment = {});
  Choice choice() const;

  // The settings' choice, and keeping one.
  static Choice Remembered();
  static void Remember(const Choice& choice);

 private:
  void studioChanged();
  void previewLater();
  void drawPreview();

  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QComboBox* supersample_ = nullptr;
  QComboBox* look_ = nullptr;
  QComboBox* floor_ = nullptr;
  QCheckBox* transparent_ = nullptr;
  QDoubleSpinBox* lens_ = nullptr;
  QCheckBox* fit_ = nullptr;
  QSpinBox* margin_ = nullptr;
  QComboBox* setup_ = nullptr;
  QSpinBox* gloss_ = nullptr;
  QLineEdit* environment_ = nullptr;
  QLineEdit* background_ = nullptr;
  QSpinBox* shadow_ = nullptr;
  QSpinBox* softness_ = nullptr;
  QLabel* preview_ = nullptr;
  Preview draw_;
  ChooseFile chooseEnvironment_;
};
