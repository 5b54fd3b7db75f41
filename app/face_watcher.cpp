#include "face_watcher.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

// Editors write in bursts; a file quiet this long is saved.
constexpr int kSettleMs = 150;

}  // namespace

FaceWatcher::FaceWatcher(QObject* parent) : QObject(parent) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &FaceWatcher::settle);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &FaceWatcher::fileTouched);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FaceWatcher::folderTouched);
}

QString FaceWatcher::stamp(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  return QString::number(info.size()) + "@" + QString::number(info.lastModified().toMSecsSinceEpoch()) + "#" +
         QString::number(info.metadataChangeTime().toMSecsSinceEpoch());
}

void FaceWatcher::watchProject(const QString& path) {
  project_ = path;
  stamps_[path] = stamp(path);
  if (!watcher_.files().contains(path)) watcher_.addPath(path);
  const QString folder = QFileInfo(path).absolutePath();
  if (!watcher_.directories().contains(folder)) watcher_.addPath(folder);
}

void FaceWatcher::forgetProject() { project_.clear(); }

void FaceWatcher::hold() { ++holds_; }

void FaceWatcher::release() {
  if (holds_ > 0 && --holds_ == 0 && !touched_.empty()) settle_.start();
}

void FaceWatcher::seen(const QString& path) {
  if (stamps_.count(path)) stamps_[path] = stamp(path);
}

void FaceWatcher::watch(int slot, const QString& path) {
  slots_[slot] = path;
  stamps_[path] = stamp(path);
  if (!watcher_.files().contains(path)) watcher_.addPath(path);
  const QString folder = QFileInfo(path).absolutePath();
  if (!watcher_.directories().contains(folder)) watcher_.addPath(folder);
}

void FaceWatcher::fileTouched(const QString& path) {
  touched_.insert(path);
  settle_.start();
}

void FaceWatcher::folderTouched(const QString& folder) {
  // A file renamed over a watched one: its stamp tells.
  for (const auto& [path, seen] : stamps_) {
    if (QFileInfo(path).absolutePath() == folder && stamp(path) != seen) touched_.insert(path);
  }
  if (!touched_.empty()) settle_.start();
}

void FaceWatcher::settle() {
  // Nothing is reloaded under an export: it waits for the hold's end.
  if (holds_ > 0) return;
  std::set<QString> touched;
  touched.swap(touched_);
  for (const QString& path : touched) {
    const QString now = stamp(path);
    // Gone for the moment (mid-rename): the folder's next change brings it.
    if (now.isEmpty()) continue;
    if (!watcher_.files().contains(path)) watcher_.addPath(path);
    // Unchanged since last seen: the program's own save.
    if (stamps_[path] == now) continue;
    stamps_[path] = now;
    for (const auto& [slot, watched] : slots_) {
      if (watched == path) emit faceChanged(slot, path);
    }
    if (path == project_) emit projectChanged(path);
  }
}
