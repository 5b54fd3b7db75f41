#include "export_image_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <algorithm>

#include "render/export_image.h"

namespace {

constexpr const char* kGroup = "Export Image/";

QSpinBox* spin(QWidget* parent, const char* name, const char* accessible, int low, int high, int value) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setAccessibleName(accessible);
  box->setRange(low, high);
  box->setValue(std::clamp(value, low, high));
  return box;
}

QComboBox* combo(QWidget* parent, const char* name, const char* accessible, const QStringList& items, int index) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setAccessibleName(accessible);
  box->addItems(items);
  box->setCurrentIndex(std::clamp(index, 0, static_cast<int>(items.size()) - 1));
  return box;
}

}  // namespace

ExportImageDialog::ExportImageDialog(const Choice& initial, QWidget* parent) : QDialog(parent) {
  setObjectName("ExportImage");
  setWindowTitle("Export Image");
  setAccessibleName("Export Image");
  auto* form = new QFormLayout(this);
  width_ = spin(this, "ExportWidth", "Width in pixels", 16, kestrova::kMaxExportSide, initial.width);
  height_ = spin(this, "ExportHeight", "Height in pixels", 16, kestrova::kMaxExportSide, initial.height);
  auto* size = new QHBoxLayout;
  size->addWidget(width_);
  size->addWidget(new QLabel("x", this));
  size->addWidget(height_);
  size->addWidget(new QLabel("pixels", this));
  // A row of several controls gets its label's shortcut by hand.
  auto* sizeLabel = new QLabel("&Size:", this);
  sizeLabel->setBuddy(width_);
  form->addRow(sizeLabel, size);
  supersample_ = combo(this, "ExportSupersample", "Supersampling",
                       {"None", "2 x 2 (smoother edges)", "3 x 3", "4 x 4 (smoothest)"}, initial.supersample - 1);
  form->addRow("S&upersampling:", supersample_);
  look_ = combo(this, "ExportLook", "Look", {"Classic frame", "Studio look"}, initial.studio ? 1 : 0);
  form->addRow("&Look:", look_);
  floor_ = combo(this, "ExportFloor", "Floor", {"None", "Shadow", "Reflection", "Shadow and reflection"}, initial.floor);
  form->addRow("&Floor:", floor_);
  transparent_ = new QCheckBox("Transparent background (PNG)", this);
  transparent_->setObjectName("ExportTransparent");
  transparent_->setAccessibleName("Transparent background");
  transparent_->setChecked(initial.transparent);
  form->addRow(transparent_);
  lens_ = new QDoubleSpinBox(this);
  lens_->setObjectName("ExportLens");
  lens_->setAccessibleName("Lens in millimetres");
  lens_->setRange(10, 600);
  lens_->setDecimals(0);
  lens_->setSuffix(" mm");
  lens_->setValue(std::clamp(initial.lens, 10.0, 600.0));
  form->addRow("Le&ns:", lens_);
  fit_ = new QCheckBox("Frame the product and its shadow", this);
  fit_->setObjectName("ExportFit");
  fit_->setAccessibleName("Frame the product and its shadow");
  fit_->setChecked(initial.fit);
  margin_ = spin(this, "ExportMargin", "Margin in percent", 0, 45, initial.margin);
  margin_->setSuffix(" %");
  auto* framing = new QHBoxLayout;
  framing->addWidget(fit_);
  framing->addWidget(margin_);
  auto* framingLabel = new QLabel("Fr&aming:", this);
  framingLabel->setBuddy(fit_);
  form->addRow(framingLabel, framing);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("Export...");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ExportImageOk");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
  connect(look_, &QComboBox::currentIndexChanged, this, [this] { studioChanged(); });
  connect(fit_, &QCheckBox::toggled, this, [this] { studioChanged(); });
  studioChanged();
}

void ExportImageDialog::studioChanged() {
  // The lens and the framing are the studio look's.
  const bool studio = look_->currentIndex() == 1;
  lens_->setEnabled(studio);
  fit_->setEnabled(studio);
  margin_->setEnabled(studio && fit_->isChecked());
}

ExportImageDialog::Choice ExportImageDialog::choice() const {
  Choice c;
  c.width = width_->value();
  c.height = height_->value();
  c.supersample = supersample_->currentIndex() + 1;
  c.studio = look_->currentIndex() == 1;
  c.floor = floor_->currentIndex();
  c.transparent = transparent_->isChecked();
  c.lens = lens_->value();
  c.fit = fit_->isChecked();
  c.margin = margin_->value();
  return c;
}

ExportImageDialog::Choice ExportImageDialog::Remembered() {
  QSettings s;
  Choice c;
  const QString g = kGroup;
  c.width = std::clamp(s.value(g + "Width", c.width).toInt(), 16, kestrova::kMaxExportSide);
  c.height = std::clamp(s.value(g + "Height", c.height).toInt(), 16, kestrova::kMaxExportSide);
  c.supersample = std::clamp(s.value(g + "Supersample", c.supersample).toInt(), 1, 4);
  c.studio = s.value(g + "Studio", c.studio).toBool();
  c.floor = std::clamp(s.value(g + "Floor", c.floor).toInt(), 0, 3);
  c.transparent = s.value(g + "Transparent", c.transparent).toBool();
  c.lens = std::clamp(s.value(g + "Lens", c.lens).toDouble(), 10.0, 600.0);
  c.fit = s.value(g + "Fit", c.fit).toBool();
  c.margin = std::clamp(s.value(g + "Margin", c.margin).toInt(), 0, 45);
  return c;
}

void ExportImageDialog::Remember(const Choice& c) {
  QSettings s;
  const QString g = kGroup;
  s.setValue(g + "Width", c.width);
  s.setValue(g + "Height", c.height);
  s.setValue(g + "Supersample", c.supersample);
  s.setValue(g + "Studio", c.studio);
  s.setValue(g + "Floor", c.floor);
  s.setValue(g + "Transparent", c.transparent);
  s.setValue(g + "Lens", c.lens);
  s.setValue(g + "Fit", c.fit);
  s.setValue(g + "Margin", c.margin);
}
