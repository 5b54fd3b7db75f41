#include "app/artwork_check_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

QTableWidget* tableOf(const ArtworkCheckDialog::Size& size, QWidget* parent) {
  const QStringList headers = {"Face", "Seen", "Artwork", "Shown at", "Stretch", "Aspect", "File"};
  auto* table = new QTableWidget(static_cast<int>(size.checks.size()), headers.size(), parent);
  table->setHorizontalHeaderLabels(headers);
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setAccessibleName(QString("Artwork for %1 (%2 x %3)")
                               .arg(size.caption)
                               .arg(size.pixels.width())
                               .arg(size.pixels.height()));
  const QIcon warning = parent->style()->standardIcon(QStyle::SP_MessageBoxWarning);
  for (int row = 0; row < static_cast<int>(size.checks.size()); ++row) {
    const kestrova::FaceCheck& check = size.checks[static_cast<size_t>(row)];
    const QString cells[] = {text(check.face),
                             check.seen ? "yes" : "no",
                             text(kestrova::ArtworkSizeText(check)),
                             text(kestrova::ShownSizeText(check)),
                             text(kestrova::StretchText(check)),
                             text(kestrova::AspectText(check)),
                             text(check.path)};
    QStringList warnings;
    for (const std::string& w : check.warnings) warnings << text(w);
    for (int column = 0; column < headers.size(); ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (!warnings.isEmpty()) item->setToolTip(warnings.join("\n"));
      table->setItem(row, column, item);
    }
    if (!warnings.isEmpty()) table->item(row, 0)->setIcon(warning);
  }
  table->resizeColumnsToContents();
  return table;
}

QString summary(const ArtworkCheckDialog::Size& size) {
  if (size.checks.empty()) return "No face of this shot holds a picture of a file.";
  QStringList lines;
  for (const kestrova::FaceCheck& check : size.checks) {
    for (const std::string& w : check.warnings) lines << text(check.face) + ": " + text(w);
  }
  return lines.isEmpty() ? QString("Every face shown is sharp and in shape at this size.") : lines.join("\n");
}

}  // namespace

ArtworkCheckDialog::ArtworkCheckDialog(const std::vector<Size>& sizes, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Check Artwork");
  setObjectName("ArtworkCheckDialog");
  auto* layout = new QVBoxLayout(this);
  auto* explanation = new QLabel(
      "Each face's picture against the size it is shown at. A face stretched past 1.5 times its pixels looks "
      "soft; a picture more than 5 % off the face's shape is squeezed.",
      this);
  explanation->setWordWrap(true);
  layout->addWidget(explanation);
  auto* tabs = new QTabWidget(this);
  tabs->setAccessibleName("Sizes");
  for (const Size& size : sizes) {
    auto* page = new QWidget(tabs);
    auto* pageLayout = new QVBoxLayout(page);
    QTableWidget* table = tableOf(size, page);
    tables_.push_back(table);
    pageLayout->addWidget(table);
    auto* notes = new QLabel(summary(size), page);
    notes->setWordWrap(true);
    notes->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    notes->setAccessibleName("Warnings");
    pageLayout->addWidget(notes);
    tabs->addTab(page, QString("%1 (%2 x %3)").arg(size.caption).arg(size.pixels.width()).arg(size.pixels.height()));
  }
  layout->addWidget(tabs);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(820, 360);
}

QTableWidget* ArtworkCheckDialog::table(int index) const {
  return index >= 0 && index < static_cast<int>(tables_.size()) ? tables_[static_cast<size_t>(index)] : nullptr;
}
