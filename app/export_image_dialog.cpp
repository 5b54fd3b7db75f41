#include "export_image_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
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

ExportImageDialog::ExportImageDialog(const Choice& initial, QWidget* parent, Preview preview,
                                     ChooseFile chooseEnvironment)
    : QDialog(parent), draw_(std::move(preview)), chooseEnvironment_(std::move(chooseEnvironment)) {
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
  // The studio: its set-up, a glossy coat, a picture lighting it, the
  // background and the floor's shadow.
  setup_ = combo(this, "ExportStudioSetup", "Studio set-up",
                 {"Bright (high key, white sweep)", "Soft (light tent)", "Dark (dark sweep, rim light)"}, initial.setup);
  form->addRow("S&tudio:", setup_);
  gloss_ = spin(this, "ExportGloss", "Gloss in percent", 0, 100, initial.gloss);
  gloss_->setSuffix(" %");
  form->addRow("&Gloss:", gloss_);
  environment_ = new QLineEdit(initial.environment, this);
  environment_->setObjectName("ExportEnvironment");
  environment_->setAccessibleName("Environment picture (.hdr or .exr)");
  environment_->setPlaceholderText("the set-up's own lights");
  auto* browse = new QPushButton("&Browse...", this);
  browse->setObjectName("ExportEnvironmentBrowse");
  browse->setAccessibleName("Choose an environment picture");
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString file = chooseEnvironment_ ? chooseEnvironment_(environment_->text())
                                            : QFileDialog::getOpenFileName(this, "Environment Picture",
                                                                           environment_->text(),
                                                                           "HDR Pictures (*.hdr *.exr)");
    if (!file.isEmpty()) environment_->setText(file);
  });
  auto* environment = new QHBoxLayout;
  environment->addWidget(environment_);
  environment->addWidget(browse);
  auto* environmentLabel = new QLabel("En&vironment:", this);
  environmentLabel->setBuddy(environment_);
  form->addRow(environmentLabel, environment);
  background_ = new QLineEdit(initial.background, this);
  background_->setObjectName("ExportBackground");
  background_->setAccessibleName("Background colour, RRGGBB in hex");
  background_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,6}"), background_));
  background_->setPlaceholderText("the shot's own");
  form->addRow("Bac&kground:", background_);
  shadow_ = spin(this, "ExportShadowStrength", "Shadow strength in percent", 0, 100, initial.shadowStrength);
  shadow_->setSuffix(" %");
  softness_ = spin(this, "ExportShadowSoftness", "Shadow softness in percent", 0, 100, initial.softness);
  softness_->setSuffix(" %");
  auto* shadow = new QHBoxLayout;
  shadow->addWidget(shadow_);
  shadow->addWidget(new QLabel("softness", this));
  shadow->addWidget(softness_);
  auto* shadowLabel = new QLabel("S&hadow:", this);
  shadowLabel->setBuddy(shadow_);
  form->addRow(shadowLabel, shadow);
  // What the export will look like, small, before anything is written.
  preview_ = new QLabel(this);
  preview_->setObjectName("ExportPreview");
  preview_->setAccessibleName("Preview of the exported picture");
  preview_->setMinimumSize(240, 160);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setVisible(static_cast<bool>(draw_));
  form->addRow(preview_);
  for (QSpinBox* box : {width_, height_, margin_, gloss_, shadow_, softness_}) {
    connect(box, &QSpinBox::valueChanged, this, [this] { previewLater(); });
  }
  for (QComboBox* box : {look_, floor_, setup_}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] { previewLater(); });
  }
  connect(lens_, &QDoubleSpinBox::valueChanged, this, [this] { previewLater(); });
  connect(fit_, &QCheckBox::toggled, this, [this] { previewLater(); });
  connect(transparent_, &QCheckBox::toggled, this, [this] { previewLater(); });
  for (QLineEdit* line : {environment_, background_}) {
    connect(line, &QLineEdit::editingFinished, this, [this] { previewLater(); });
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("Export...");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ExportImageOk");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
  connect(look_, &QComboBox::currentIndexChanged, this, [this] { studioChanged(); });
  connect(fit_, &QCheckBox::toggled, this, [this] { studioChanged(); });
  studioChanged();
  if (draw_) drawPreview();
}

void ExportImageDialog::previewLater() {
  // Drawn at once, not on a timer: what the dialog shows follows the
  // user's steps in order, whatever the machine's speed.
  if (draw_) drawPreview();
}

void ExportImageDialog::drawPreview() {
  const Choice c = choice();
  // The picture's own shape, at most 240 x 160.
  const double scale = std::min(240.0 / c.width, 160.0 / c.height);
  const QSize size(std::max(16, static_cast<int>(c.width * scale)), std::max(16, static_cast<int>(c.height * scale)));
  const QImage image = draw_(c, size);
  if (image.isNull()) {
    preview_->setText("The preview could not be drawn.");
    return;
  }
  preview_->setPixmap(QPixmap::fromImage(image));
}

void ExportImageDialog::studioChanged() {
  // The lens and the framing are the studio look's.
  const bool studio = look_->currentIndex() == 1;
  lens_->setEnabled(studio);
  fit_->setEnabled(studio);
  margin_->setEnabled(studio && fit_->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{setup_, gloss_, environment_}) {
    if (w) w->setEnabled(studio);
  }
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
  c.setup = setup_->currentIndex();
  c.gloss = gloss_->value();
  c.environment = environment_->text().trimmed();
  c.background = background_->text().size() == 6 ? background_->text().toUpper() : QString();
  c.shadowStrength = shadow_->value();
  c.softness = softness_->value();
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
  c.setup = std::clamp(s.value(g + "Setup", c.setup).toInt(), 0, 2);
  c.gloss = std::clamp(s.value(g + "Gloss", c.gloss).toInt(), 0, 100);
  c.environment = s.value(g + "Environment", c.environment).toString();
  c.shadowStrength = std::clamp(s.value(g + "Shadow Strength", c.shadowStrength).toInt(), 0, 100);
  c.softness = std::clamp(s.value(g + "Softness", c.softness).toInt(), 0, 100);
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
  s.setValue(g + "Setup", c.setup);
  s.setValue(g + "Gloss", c.gloss);
  s.setValue(g + "Environment", c.environment);
  s.setValue(g + "Shadow Strength", c.shadowStrength);
  s.setValue(g + "Softness", c.softness);
}
