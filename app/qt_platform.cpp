#include "qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include <atomic>
#include <cstring>

#include "formats/bmp_export.h"

namespace kestrova {

namespace {

QString toQt(const std::string& text) { return QString::fromStdString(text); }

// Qt wants "Description (*.a);;Other (*.b)".
QString qtFilter(const std::string& filter) {
  QStringList entries;
  for (const auto& [description, pattern] : SplitFileFilter(filter)) {
    QString entry = toQt(description);
    const QString patterns = toQt(pattern).replace(';', ' ').trimmed();
    if (!entry.contains('(')) entry += " (" + patterns + ")";
    entries << entry;
  }
  return entries.join(";;");
}

QString startPath(const FileDialogRequest& request) {
  QString name = toQt(request.initialName);
  if (name.contains('*')) name.clear();
  if (request.initialDirectory.empty()) return name;
  return toQt(request.initialDirectory) + "/" + name;
}

}  // namespace

namespace {
bool quitRequested = false;
}  // namespace

void RequestQuit() {
  quitRequested = true;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(window);
    if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
  }
  QApplication::quit();
}

bool QuitRequested() { return quitRequested; }

namespace {
std::atomic<bool> terminateSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
}  // namespace

void NoteTerminateSignal() { terminateSignalled.store(true, std::memory_order_relaxed); }
bool TerminateSignalled() { return terminateSignalled.load(std::memory_order_relaxed); }
void ForgetTerminateSignal() { terminateSignalled.store(false, std::memory_order_relaxed); }

MessageAnswer QtPlatform::messageBox(const std::string& text, const std::string& caption,
                                     MessageButtons buttons, MessageIcon icon) {
  if (quitRequested) return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  QMessageBox box(parent_);
  box.setWindowTitle(toQt(caption));
  // Messages carry file names, which may look like markup: "<img src=...>"
  // read as rich text would have Qt open that file.
  box.setTextFormat(Qt::PlainText);
  box.setText(toQt(text));
  switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Stop: box.setIcon(QMessageBox::Critical); break;
  }
  if (buttons == MessageButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MessageAnswer::Ok;
}

std::optional<std::string> QtPlatform::openFileName(const FileDialogRequest& request) {
  if (quitRequested) return {};
  QFileDialog dialog(parent_, toQt(request.title), startPath(request), qtFilter(request.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(toQt(request.defaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtPlatform::saveFileName(const FileDialogRequest& request) {
  if (quitRequested) return {};
  QFileDialog dialog(parent_, toQt(request.title), startPath(request), qtFilter(request.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
  dialog.setDefaultSuffix(toQt(request.defaultExtension));
  // A name typed without a suffix takes the chosen type's.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &request](const QString& entry) {
    dialog.setDefaultSuffix(toQt(SuffixOfFilter(entry.toStdString(), request.defaultExtension)));
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

std::optional<uint32_t> QtPlatform::chooseColor(uint32_t initial) {
  if (quitRequested) return {};
  const QColor start(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF);
  const QColor chosen = QColorDialog::getColor(start, parent_);
  if (!chosen.isValid()) return {};
  return static_cast<uint32_t>(chosen.red()) | static_cast<uint32_t>(chosen.green()) << 8 |
         static_cast<uint32_t>(chosen.blue()) << 16;
}

bool QtPlatform::openUrl(const std::string& url) {
  if (!IsWebAddress(url)) return false;
  return QDesktopServices::openUrl(QUrl(toQt(url)));
}

bool QtPlatform::openLocalFile(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(toQt(path)));
}

void QtPlatform::setClipboardDib(const std::vector<uint8_t>& dib) {
  if (dib.size() < 40) return;
  int32_t width = 0;
  int32_t height = 0;
  std::memcpy(&width, dib.data() + 4, 4);
  std::memcpy(&height, dib.data() + 8, 4);
  auto* mime = new QMimeData;
  // Readers of image/bmp want a whole file, header included.
  const std::vector<uint8_t> file = BmpFileFromDib(dib);
  mime->setData("image/bmp", QByteArray(reinterpret_cast<const char*>(file.data()),
                                        static_cast<qsizetype>(file.size())));
  if (width > 0 && height > 0 &&
      dib.size() >= 40 + static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    QImage image(dib.data() + 40, width, height, width * 3, QImage::Format_BGR888);
    mime->setImageData(image.mirrored());
  }
  QApplication::clipboard()->setMimeData(mime);
}

}  // namespace kestrova
