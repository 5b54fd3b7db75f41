#pragma once
#include <QDialog>
#include <QSize>
#include <QString>
#include <vector>

#include "render/preflight.h"

class QTableWidget;

// "Check Artwork": each face's artwork against the window's size and the
// export size, with the faces that will look soft or squeezed marked.
class ArtworkCheckDialog : public QDialog {
  Q_OBJECT
 public:
  struct Size {
    QString caption;  // "This window", "Export"
    QSize pixels;
    std::vector<kestrova::FaceCheck> checks;
  };
  ArtworkCheckDialog(const std::vector<Size>& sizes, QWidget* parent);

  // The table of one size, in the order given.
  QTableWidget* table(int index) const;

 private:
  std::vector<QTableWidget*> tables_;
};
