#include "export_animation_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

ExportAnimationDialog::ExportAnimationDialog(const QSize& size, int fps, bool hasKeys, QWidget* parent)
    : QDialog(parent) {
  setObjectName("ExportAnimation");
  setWindowTitle("Export Animation");
  setAccessibleName("Export Animation");
  auto* form = new QFormLayout(this);
  auto* format = new QLabel(QString("%1 x %2 pixels, %3 frames a second (chosen in Edit > Preferences)")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(fps),
                            this);
  format->setAccessibleName("Video format");
  form->addRow("Format:", format);
  turntable_ = new QCheckBox("Turntable: one turn about the vertical axis", this);
  turntable_->setObjectName("Turntable");
  turntable_->setAccessibleName("Turntable");
  // Without keys, a turntable is the only animation there is.
  turntable_->setChecked(!hasKeys);
  turntable_->setEnabled(hasKeys);
  form->addRow(turntable_);
  seconds_ = new QSpinBox(this);
  seconds_->setObjectName("TurntableSeconds");
  seconds_->setAccessibleName("Seconds of one turn");
  seconds_->setRange(1, 600);
  seconds_->setValue(4);
  seconds_->setSuffix(" s");
  seconds_->setEnabled(turntable_->isChecked());
  connect(turntable_, &QCheckBox::toggled, seconds_, &QSpinBox::setEnabled);
  form->addRow("One turn takes:", seconds_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("Export...");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ExportOk");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

double ExportAnimationDialog::turntableSeconds() const {
  return turntable_->isChecked() ? seconds_->value() : 0.0;
}
