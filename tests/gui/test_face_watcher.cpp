// The watcher behind live reload: every way an editor saves is one change,
// reported once the file has been quiet, and none while held.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/face_watcher.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

TEST(FaceWatcherSaves, EveryWayOfSavingIsOneChangeOnceTheFileIsQuiet) {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  const fs::path face = folder / "cover.png";
  const struct {
    const char* how;
    std::function<void()> save;
  } kSaves[] = {
      {"written in place", [&] { write(face, "in place, longer than before"); }},
      {"renamed over", [&] {
         write(folder / "cover.png.new", "renamed over it");
         fs::rename(folder / "cover.png.new", face);
       }},
      {"deleted, then made again", [&] {
         fs::remove(face);
         QTest::qWait(400);  // the watcher sees it gone, and loses its watch
         write(face, "made again");
       }},
  };
  for (const auto& [how, save] : kSaves) {
    SCOPED_TRACE(how);
    write(face, "first");
    FaceWatcher watcher;
    watcher.watch(3, QString::fromStdString(face.string()));
    QSignalSpy changes(&watcher, &FaceWatcher::faceChanged);
    save();
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() > 0; }, 3000));
    QTest::qWait(400);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toInt(), 3);
    EXPECT_EQ(changes[0][1].toString().toStdString(), face.string());
    // And the next save after that is seen too.
    write(face, std::string("again after ") + how);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() == 2; }, 3000));
  }
}

TEST(FaceWatcherSaves, AFileStillBeingWrittenIsNotReloadedAndAHoldDefersTheReport) {
  QTemporaryDir dir;
  const fs::path face = fs::path(dir.path().toStdString()) / "cover.png";
  write(face, "first");
  FaceWatcher watcher;
  watcher.watch(0, QString::fromStdString(face.string()));
  QSignalSpy changes(&watcher, &FaceWatcher::faceChanged);
  // An editor writing in bursts, 60 ms apart: nothing until it is quiet.
  std::string text = "x";
  for (int burst = 0; burst < 10; ++burst) {
    text += "more";
    std::ofstream(face, std::ios::binary | std::ios::app) << text;
    QTest::qWait(60);
    EXPECT_EQ(changes.count(), 0) << "reported while still being written, burst " << burst;
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() == 1; }, 3000));

  // Held (an export under way): waits, then is reported once at the release.
  watcher.hold();
  write(face, "saved during an export");
  QTest::qWait(600);
  EXPECT_EQ(changes.count(), 1) << "reported during the hold";
  watcher.release();
  EXPECT_TRUE(QTest::qWaitFor([&] { return changes.count() == 2; }, 3000));
  QTest::qWait(300);
  EXPECT_EQ(changes.count(), 2);
}
