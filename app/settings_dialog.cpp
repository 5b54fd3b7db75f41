#include "settings_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QRegularExpression>
#include <algorithm>

#include "res/resource_ids.h"

namespace id = kestrova::ids;

// The items exactly as stored, spacing included.
const char* const SettingsDialog::kFormats[kFormatCount] = {
    "DV AVI PAL    25 Frames/Second            720x576",
    "DV AVI NTSC 30 Frames/Second            720x480",
    "VCD PAL        25 Frames/Second            352x288               ",
    "VCD NTSC     30 Frames/Second            352x240",
    "SVCD PAL      25 Frames/Second            480x576",
    "SVCD NTSC   30 Frames/Second            480x480 ",
    "SVCD NYSC   30 Frames/Second            800x600",
    "SVCD NYSC   30 Frames/Second            352x152",
    "SVCD NYSC   30 Frames/Second            700x200",
    "SVCD NYSC   30 Frames/Second            552x400",
    "SVCD NYSC   30 Frames/Second            500x72",
    "SVCD NYSC   30 Frames/Second            780x48",
    "SVCD NYSC   30 Frames/Second            352x100",
    "SVCD NYSC   30 Frames/Second            176x28",
    "3GP                30 Frames/Second            176x144",
    "H D Video       30 Frames/Second            1280x720",
    "H D Video       25 Frames/Second            1920x1080",
};

// The main window's outer size for each format.
const QSize SettingsDialog::kWindowSizes[kFormatCount] = {
    {724, 600}, {724, 504}, {358, 312}, {358, 264}, {484, 600}, {484, 504}, {804, 624}, {356, 174}, {704, 224},
    {556, 424}, {504, 94},  {784, 70},  {356, 124}, {180, 50},  {180, 168}, {1284, 744}, {1924, 1104},
};

SettingsDialog::SettingsDialog(int& videoFormat, bool playIntro, const kestrova::StudioFloor& floor,
                               QWidget* mainWindow)
    : QDialog(mainWindow), videoFormat_(videoFormat), mainWindow_(mainWindow), floor_(floor) {
  setObjectName(QString::number(id::kSettingsDialog));
  setWindowTitle("Settings");
  setAccessibleName("Settings");
  setFixedSize(520, 260);

  auto* group = new QGroupBox("AVI Export Settings", this);
  group->setGeometry(10, 8, 500, 110);
  auto* format = new QLabel("Format:", this);
  format->setGeometry(22, 34, 80, 20);
  auto* rate = new QLabel("Frame Rate:", this);
  rate->setGeometry(22, 62, 80, 20);
  auto* size = new QLabel("Resoultion:", this);
  size->setGeometry(22, 86, 80, 20);

  formats_ = new QComboBox(this);
  formats_->setObjectName(QString::number(id::kSettingsFormat));
  formats_->setAccessibleName("Format");
  for (const char* item : kFormats) formats_->addItem(QString::fromLatin1(item));
  formats_->setGeometry(104, 32, 396, 26);
  format->setBuddy(formats_);
  connect(formats_, &QComboBox::activated, this, [this](int index) {
    selected_ = index;
    videoFormat_ = selected_;
  });

  auto* intro = new QCheckBox("Play the introduction at start-up", this);
  intro->setObjectName("PlayIntroduction");
  intro->setAccessibleName("Play the introduction at start-up");
  intro->setChecked(playIntro);
  intro->setGeometry(14, 132, 300, 24);
  connect(intro, &QCheckBox::toggled, this, &SettingsDialog::playIntroChanged);

  // View > Studio Floor draws what these set.
  auto* studio = new QGroupBox("Studio Floor", this);
  studio->setGeometry(10, 162, 500, 56);
  const struct {
    const char* name;
    const char* caption;
    int kestrova::StudioFloor::*value;
    int x;
  } amounts[] = {{"ShadowStrength", "Shadow:", &kestrova::StudioFloor::shadowStrength, 22},
                 {"ReflectionStrength", "Reflection:", &kestrova::StudioFloor::reflectionStrength, 186},
                 {"ShadowSoftness", "Softness:", &kestrova::StudioFloor::softness, 350}};
  for (const auto& amount : amounts) {
    auto* label = new QLabel(amount.caption, this);
    label->setGeometry(amount.x, 186, 76, 22);
    auto* spin = new QSpinBox(this);
    spin->setObjectName(amount.name);
    spin->setAccessibleName(QString(amount.caption).remove(':') + (amount.x == 350 ? " of the shadow" : " strength"));
    spin->setRange(0, 100);
    spin->setSuffix(" %");
    spin->setValue(floor_.*amount.value);
    spin->setGeometry(amount.x + 76, 184, 72, 26);
    label->setBuddy(spin);
    const auto member = amount.value;
    connect(spin, &QSpinBox::valueChanged, this, [this, member](int value) {
      floor_.*member = value;
      emit studioFloorChanged(floor_);
    });
  }

  auto* applyButton = new QPushButton("Apply", this);
  applyButton->setObjectName(QString::number(id::kSettingsApply));
  applyButton->setAccessibleName("Apply");
  applyButton->setDefault(true);
  applyButton->setGeometry(414, 224, 96, 30);
  connect(applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
}

void SettingsDialog::apply() {
  if (videoFormat_ >= 0 && videoFormat_ < kFormatCount) {
    // The outer size: the frame included, as the formats are tabled.
    QSize outer = kWindowSizes[videoFormat_];
    // Never past the screen: a window larger than it has its title bar and
    // buttons out of reach.
    if (const QScreen* screen = mainWindow_->screen()) outer = outer.boundedTo(screen->availableGeometry().size());
    const QSize frame = mainWindow_->frameGeometry().size() - mainWindow_->geometry().size();
    mainWindow_->resize(outer - frame);
  }
  hide();
  finish();
}

void SettingsDialog::finish() {
  if (finished_) return;
  finished_ = true;
  emit finished_with();
}

void SettingsDialog::reject() {
  QDialog::reject();
  finish();
}

void SettingsDialog::closeEvent(QCloseEvent* event) {
  finish();
  QDialog::closeEvent(event);
}

QSize SettingsDialog::VideoSize(int format) {
  const QString text = QString::fromLatin1(kFormats[std::clamp(format, 0, kFormatCount - 1)]);
  const QRegularExpressionMatch match = QRegularExpression("(\\d+)x(\\d+)").match(text);
  return {match.captured(1).toInt(), match.captured(2).toInt()};
}

int SettingsDialog::VideoFps(int format) {
  const QString text = QString::fromLatin1(kFormats[std::clamp(format, 0, kFormatCount - 1)]);
  return QRegularExpression("(\\d+) Frames").match(text).captured(1).toInt();
}
