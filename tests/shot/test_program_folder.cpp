#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>

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
