#pragma once
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <set>

// Watches the files the shot's faces were loaded from, and its project. A save (written in
// place, or written beside and renamed over, as editors do) is reported once
// the file has been quiet for a moment.
class FaceWatcher : public QObject {
  Q_OBJECT
 public:
  explicit FaceWatcher(QObject* parent = nullptr);

  // Slot `slot` now shows `path`.
  void watch(int slot, const QString& path);
  // The project the shot came from; a save by the program itself (`seen`)
  // is not a change.
  void watchProject(const QString& path);
  // The shot no longer comes from a file (New): no outside save of the old
  // one may replace it.
  void forgetProject();
  void seen(const QString& path);
  // While held (an export under way), changes wait; they are reported when
  // the last hold ends.
  void hold();
  void release();
  // A change seen and not yet reported: it is reported when the file has
  // been quiet a moment, whatever the user does meanwhile.
  bool settling() const { return settle_.isActive(); }

 signals:
  void faceChanged(int slot, const QString& path);
  void projectChanged(const QString& path);

 private:
  void fileTouched(const QString& path);
  void folderTouched(const QString& folder);
  void settle();
  // What the file was when last seen: a rename over it changes this even
  // when the watch on the old file is lost.
  static QString stamp(const QString& path);

  QFileSystemWatcher watcher_;
  std::map<int, QString> slots_;
  QString project_;
  std::map<QString, QString> stamps_;
  std::set<QString> touched_;
  QTimer settle_;
  int holds_ = 0;
};

// Holds a watcher's reports for a scope.
class WatchHold {
 public:
  explicit WatchHold(FaceWatcher& watcher) : watcher_(watcher) { watcher_.hold(); }
  ~WatchHold() { watcher_.release(); }
  WatchHold(const WatchHold&) = delete;
  WatchHold& operator=(const WatchHold&) = delete;

 private:
  FaceWatcher& watcher_;
};
