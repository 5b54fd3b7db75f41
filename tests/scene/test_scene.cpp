#include <gtest/gtest.h>

#include <memory>

#include "scene/scene_state.h"

using namespace kestrova;

TEST(SceneState, ConstructionDefaults) {
  auto scene = std::make_unique<SceneState>();
  EXPECT_EQ(scene->rotation, (Vec3{30, 30, 0}));
  EXPECT_EQ(scene->baseRotation, scene->rotation);
  EXPECT_EQ(scene->spotLight, (Vec3{1, 1, 10}));
  EXPECT_EQ(scene->baseSpot, (Vec3{1, 1, 10}));
  EXPECT_EQ(scene->basePan, (Vec3{0, 0, 0}));
  EXPECT_EQ(scene->baseScale, (Vec3{0, 0, 0}));
  EXPECT_EQ(scene->spinVelocity[0], 1.0f);
  EXPECT_EQ(scene->spinVelocity[1], 1.0f);
  EXPECT_EQ(scene->productKind, 0.0f);
  EXPECT_TRUE(scene->formatVersion.empty());
  EXPECT_FALSE(scene->playing);
  EXPECT_EQ(scene->sequenceNames[0], "Nothing Selected");
  EXPECT_EQ(scene->keyRotation[2][kTrackFrames - 1], 0.0f);
  EXPECT_EQ(scene->texturePath[kPathMug][0], '\0');
  EXPECT_EQ(scene->controlPanel, nullptr);
  EXPECT_EQ(scene->introDialog, nullptr);
}

TEST(SceneState, FixedCapacities) {
  EXPECT_EQ(std::tuple_size<decltype(SceneState::keyFrameNumbers)>::value, 20000u);
  EXPECT_EQ(std::tuple_size<Track>::value, 10000u);
  EXPECT_EQ(std::tuple_size<decltype(SceneState::sequenceNames)>::value, 1024u);
  EXPECT_EQ(sizeof SceneState::texturePath, 10u * 25000u);
  EXPECT_EQ(sizeof SceneState::faceGrid, 45u * 45u * 3u * sizeof(float));
  // About 1.5 MB: the 24 tracks and the ten path buffers.
  EXPECT_GT(sizeof(SceneState), 1200000u);
}

TEST(SceneState, FaceGridRunsFromMinusFourPointFiveInStepsOfTwoTenths) {
  auto scene = std::make_unique<SceneState>();
  BuildFaceGrid(*scene);
  EXPECT_FLOAT_EQ(scene->faceGrid[0][0].x, -4.5f);
  EXPECT_FLOAT_EQ(scene->faceGrid[0][0].y, -4.5f);
  EXPECT_FLOAT_EQ(scene->faceGrid[44][44].x, 4.3f);
  EXPECT_FLOAT_EQ(scene->faceGrid[44][0].y, -4.5f);
  EXPECT_FLOAT_EQ(scene->faceGrid[10][20].x, -2.5f);
  EXPECT_FLOAT_EQ(scene->faceGrid[10][20].y, -0.5f);
  EXPECT_EQ(scene->faceGrid[22][22].z, 0.0f);
}

TEST(SceneState, FormatVersionGateComparesBytes) {
  EXPECT_FALSE(FormatVersionAtLeast("", 3));  // a fresh scene plays no scale track
  EXPECT_FALSE(FormatVersionAtLeast(std::string(1, '\x02'), 3));
  EXPECT_TRUE(FormatVersionAtLeast(std::string(1, '\x03'), 3));
  EXPECT_TRUE(FormatVersionAtLeast(std::string(1, '\x05'), 3));
  EXPECT_TRUE(FormatVersionAtLeast(std::string(1, '\xF0'), 3));  // above 0x7F still counts
}

namespace {

std::unique_ptr<SceneState> sceneWithSequences(int count, bool endMarker) {
  auto scene = std::make_unique<SceneState>();
  for (int i = 1; i <= count; ++i) scene->sequenceNames[i] = "sample" + std::to_string(i) + ".TSMR";
  if (endMarker) scene->sequenceNames[count] = kEndMarker;
  scene->sequenceCount = count;
  return scene;
}

}  // namespace

TEST(IntroPosition, StartRule) {
  struct Case {
    const char* what;
    int profile;
    std::string flag;
    int expected;
  };
  const Case cases[] = {
      {"no profile value, marker False: sample 2", 1, "False", 2},
      {"marker True restarts at 1", 3, "True", 1},
      {"profile + 1", 2, "False", 3},
      {"next is the end marker: wraps", 4, "False", 1},
      {"past the end of the list: wraps", 9, "False", 1},
      {"a marker longer than 8 bytes is not True", 1, "True    extra", 2},
      {"case matters", 1, "true", 2},
      {"negative profile wraps", -5, "False", 1},
      {"huge profile does not overflow", 2147483647, "False", 1},
  };
  auto scene = sceneWithSequences(5, true);
  for (const Case& c : cases) {
    EXPECT_EQ(IntroPositionAtStart(c.profile, c.flag, *scene), c.expected) << c.what;
  }
}

TEST(IntroPosition, WrapsWithoutEndMarker) {
  auto scene = sceneWithSequences(3, false);
  EXPECT_EQ(IntroPositionAtStart(2, "False", *scene), 3);
  EXPECT_EQ(IntroPositionAtStart(3, "False", *scene), 1);
}
