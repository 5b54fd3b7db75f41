#include "about_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "platform.h"
#include "res/resource_ids.h"
#include "res/toolbar_art.h"

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace id = kestrova::ids;

AboutDialog::AboutDialog(kestrova::Platform& platform, QWidget* parent) : QDialog(parent) {
  setObjectName(QString::number(id::kAboutDialog));
  setWindowTitle("Kestrova");
  setAccessibleName("About Kestrova");
  setFixedSize(420, 250);

  auto* picture = new QLabel(this);
  picture->setPixmap(QPixmap::fromImage(kestrova::AboutArtwork(240, 110)));
  picture->setGeometry(14, 14, 240, 110);
  picture->setAccessibleName("Kestrova artwork");

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Plain);
  frame->setGeometry(12, 134, 396, 62);

  auto* credits = new QLabel(this);
  credits->setText(QString("Kestrova %1: flat artwork into a 3D product shot.\n"
                           "Written by the Kestrova developers; drawn with Qt and Mesa.")
                       .arg(KESTROVA_VERSION));
  credits->setGeometry(20, 140, 380, 50);
  credits->setAccessibleName("Credits");

  auto* home = new QPushButton("CLICK HERE!", this);
  home->setObjectName(QString::number(id::kAboutHomePage));
  home->setAccessibleName("CLICK HERE!");
  home->setAccessibleDescription("Opens the Kestrova home page");
  home->setGeometry(270, 40, 130, 30);
  home->setAutoDefault(false);
  connect(home, &QPushButton::clicked, this, [&platform] { platform.openUrl(kHomePage); });

  // Present for its id, never shown.
  auto* forum = new QPushButton(" Forum", this);
  forum->setObjectName(QString::number(id::kAboutForum));
  forum->setAccessibleName("Forum");
  forum->setGeometry(270, 80, 130, 30);
  forum->hide();
  forum->setEnabled(false);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName(QString::number(id::kAboutOk));
  ok->setAccessibleName("OK");
  ok->setDefault(true);
  ok->setGeometry(310, 206, 96, 30);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
