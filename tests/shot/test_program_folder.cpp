#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>

#include <sys/stat.h>

#include "shot/program_folder.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path, const std::string& content = "x") {
  std::ofstream(path, std::ios::binary) << content;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(StartMarker, WritesExactlyTheTextAndReadsAtMostEightBytes) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  EXPECT_FALSE(ReadStartMarker(folder).has_value());
  touch(fs::path(folder) / "Flag.txt", "True and a good deal more");
  EXPECT_EQ(*ReadStartMarker(folder), "True and");
  ASSERT_TRUE(WriteStartMarker(folder, "False"));
  EXPECT_EQ(slurp(fs::path(folder) / "Flag.txt"), "False");  // truncated, no line end
  EXPECT_EQ(*ReadStartMarker(folder), "False");
}

TEST(StartMarker, AFifoOrALinkInItsPlaceIsNeitherWaitedOnNorFollowed) {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  const fs::path flag = folder / "Flag.txt";
  const fs::path elsewhere = folder / "someone-elses.txt";
  touch(elsewhere, "True");
  for (const bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "a FIFO" : "a symbolic link");
    if (fifo) {
      ASSERT_EQ(::mkfifo(flag.c_str(), 0600), 0);
    } else {
      fs::create_symlink(elsewhere, flag);
    }
    EXPECT_FALSE(ReadStartMarker(folder.string()).has_value()) << "read at once as not there";
    ASSERT_TRUE(WriteStartMarker(folder.string(), "False"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(flag))) << "replaced by a file of its own";
    EXPECT_EQ(slurp(flag), "False");
    EXPECT_EQ(slurp(elsewhere), "True") << "the link's target is untouched";
    fs::remove(flag);
  }
}

TEST(Sequences, ListsOnlyTsmrSortedByName) {
  QTemporaryDir dir;
  const fs::path sequences = fs::path(dir.path().toStdString()) / "Sequences";
  fs::create_directory(sequences);
  for (const char* name : {"b.TSMR", "a.tsmr", "c.txt", "zzzzzzzzz.TSMR", "A.TSMR", "x.TSMR.bak"}) {
    touch(sequences / name);
  }
  fs::create_directory(sequences / "folder.TSMR");
  auto scene = std::make_unique<SceneState>();
  scene->sequenceNames[7] = "stale";
  EXPECT_EQ(ListSequences(dir.path().toStdString(), *scene), 3);
  EXPECT_EQ(scene->sequenceNames[0], "Nothing Selected");
  EXPECT_EQ(scene->sequenceNames[1], "A.TSMR");
  EXPECT_EQ(scene->sequenceNames[2], "b.TSMR");
  EXPECT_EQ(scene->sequenceNames[3], "zzzzzzzzz.TSMR");
  EXPECT_TRUE(scene->sequenceNames[7].empty());
}

TEST(Sequences, MissingFolderListsNothing) {
  QTemporaryDir dir;
  auto scene = std::make_unique<SceneState>();
  EXPECT_EQ(ListSequences(dir.path().toStdString(), *scene), 0);
  EXPECT_EQ(scene->sequenceNames[0], "Nothing Selected");
}

TEST(Sequences, KeepsAtMost1023Names) {
  QTemporaryDir dir;
  const fs::path sequences = fs::path(dir.path().toStdString()) / "Sequences";
  fs::create_directory(sequences);
  for (int i = 0; i < 1030; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "s%04d.TSMR", i);
    touch(sequences / name);
  }
  auto scene = std::make_unique<SceneState>();
  EXPECT_EQ(ListSequences(dir.path().toStdString(), *scene), 1023);
  EXPECT_EQ(scene->sequenceNames[1023], "s1022.TSMR");
}

TEST(DataFolder, InstalledUnderShareElseBesideTheExecutable) {
  QTemporaryDir dir;
  const fs::path prefix = dir.path().toStdString();
  fs::create_directories(prefix / "bin");
  EXPECT_EQ(FindDataFolder((prefix / "bin").string()), (prefix / "bin").string()) << "the build's folder";
  fs::create_directories(prefix / "share" / "kestrova" / "Sequences");
  EXPECT_EQ(FindDataFolder((prefix / "bin").string()), (prefix / "share" / "kestrova").string());
}

TEST(SequencesListing, TheUsersPresetsJoinTheSamplesInOneSortedList) {
  QTemporaryDir program;
  QTemporaryDir user;
  const fs::path shipped = fs::path(program.path().toStdString()) / "Sequences";
  fs::create_directory(shipped);
  touch(shipped / "01 Box.TSMR");
  touch(shipped / "zzzzzzzzz.TSMR");
  touch(fs::path(user.path().toStdString()) / "05 Mine.TSMR");
  touch(fs::path(user.path().toStdString()) / "01 Box.TSMR");  // one name, listed once
  auto scene = std::make_unique<SceneState>();
  const fs::path before = fs::current_path();
  EXPECT_EQ(ListSequences(program.path().toStdString(), *scene, user.path().toStdString()), 3);
  fs::current_path(before);
  EXPECT_EQ(scene->sequenceNames[1], "01 Box.TSMR");
  EXPECT_EQ(scene->sequenceNames[2], "05 Mine.TSMR");
  EXPECT_EQ(scene->sequenceNames[3], "zzzzzzzzz.TSMR");
  EXPECT_EQ(SequencePath(*scene, 2, user.path().toStdString()), user.path().toStdString() + "/05 Mine.TSMR");
  EXPECT_EQ(SequencePath(*scene, 3, user.path().toStdString()), "Sequences/zzzzzzzzz.TSMR");
  EXPECT_EQ(SequencePath(*scene, 1, user.path().toStdString()), user.path().toStdString() + "/01 Box.TSMR")
      << "the user's own copy wins";
}
