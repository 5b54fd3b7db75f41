#pragma once
#include <QDialog>

namespace kestrova {
class Platform;
}

// "Kestrova": the program's picture, version and credits, and a button to
// the home page.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  AboutDialog(kestrova::Platform& platform, QWidget* parent);
};

constexpr const char* kHomePage = "http://www.kestrova.example/";
