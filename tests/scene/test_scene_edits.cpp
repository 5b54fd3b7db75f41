#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "scene/scene_edits.h"

using namespace kestrova;

TEST(DialogInteger, SignedDecimalBetweenBlanksOnly) {
  const struct {
    const char* text;
    std::optional<int> value;
  } cases[] = {
      {"42", 42},        {"  -17  ", -17}, {"+5", 5},          {"0", 0},           {"  0 ", 0},
      {"007", 7},        {"", {}},         {"   ", {}},        {"-", {}},          {"-0", {}},
      {"+0", {}},        {"12a", {}},      {"1 2", {}},        {"a12", {}},        {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int>::min()},        {"2147483648", {}}, {"99999999999999999999", {}},
      {"\t9", 9},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDialogInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(ShownValue, TruncatesTowardZeroAndStaysInRange) {
  EXPECT_EQ(ShownValue(-2.7f), -2);
  EXPECT_EQ(ShownValue(2.7f), 2);
  EXPECT_EQ(ShownValue(-0.5f), 0);
  EXPECT_EQ(ShownValue(1e20f), std::numeric_limits<int>::max());
  EXPECT_EQ(ShownValue(-1e20f), std::numeric_limits<int>::min());
  EXPECT_EQ(ShownValue(std::nanf("")), 0);
}

TEST(AngleNormalisation, StepsOf720IntoPlusMinus360) {
  auto scene = std::make_unique<SceneState>();
  scene->rotation = {725, 360, -361};
  NormaliseAngles(*scene);
  EXPECT_EQ(scene->rotation, (Vec3{5, 360, 359}));
  scene->rotation = {-360, 361, 1085};
  NormaliseAngles(*scene);
  EXPECT_EQ(scene->rotation, (Vec3{-360, -359, -355}));
}

TEST(AngleNormalisation, HugeAndInfiniteAnglesFromAFileDoNotHang) {
  auto scene = std::make_unique<SceneState>();
  const float infinity = std::numeric_limits<float>::infinity();
  scene->rotation = {3.0e9f, -7.0e12f, infinity};
  NormaliseAngles(*scene);
  EXPECT_GE(scene->rotation[0], -360.0f);
  EXPECT_LE(scene->rotation[0], 360.0f);
  EXPECT_GE(scene->rotation[1], -360.0f);
  EXPECT_LE(scene->rotation[1], 360.0f);
  EXPECT_EQ(scene->rotation[2], infinity);
}

TEST(SliderTarget, SpotLightThenTextureScrollThenMovementMode) {
  auto scene = std::make_unique<SceneState>();
  SceneState& s = *scene;
  const struct {
    float subMode, scrollMode, movement;
    const float* first;
    int count, maximum;
  } cases[] = {
      {2, 2, 3, &s.spotLight[0], 3, 360},     {0, 2, 3, &s.textureScroll[0], 2, 2000},
      {1, 1, 0, &s.rotation[0], 3, 360},      {0, 0, 1, &s.rotation[0], 3, 360},
      {0, 0, 2, &s.pan[0], 3, 2000},          {0, 0, 3, &s.scale[0], 3, 360},
  };
  for (const auto& c : cases) {
    s.panelSubMode = c.subMode;
    s.textureScrollMode = c.scrollMode;
    s.movementMode = c.movement;
    const SliderTarget target = CurrentSliderTarget(s);
    EXPECT_EQ(target.values[0], c.first) << c.subMode << " " << c.scrollMode << " " << c.movement;
    EXPECT_EQ(target.count, c.count);
    EXPECT_EQ(target.maximum, c.maximum);
    EXPECT_EQ(target.minimum, -c.maximum);
  }
}

TEST(Drag, ScaleDragFollowsThePanRuleAndRightDragScalesDepthUnhalved) {
  auto scene = std::make_unique<SceneState>();
  scene->productKind = kProductBox;
  scene->movementMode = 3;
  scene->scale = {0, 0, 0};
  BeginDrag(*scene, false, 10, 10);
  const DragOutcome left = DragTo(*scene, 30, 50, false, true);
  EXPECT_EQ(scene->scale, (Vec3{10, -20, 0}));
  EXPECT_EQ(left.mirror[0], 10.0f);
  EXPECT_EQ(left.mirror[1], -20.0f);
  EXPECT_FALSE(left.mirror[2].has_value());
  EndDrag(*scene, false);
  BeginDrag(*scene, true, 0, 0);
  DragTo(*scene, 4, 6, false, true);
  EXPECT_EQ(scene->scale[2], 5.0f);
  EndDrag(*scene, false);
  EXPECT_TRUE(scene->rightDrag) << "a left release leaves the right button's mode";
  EndDrag(*scene, true);
  EXPECT_FALSE(scene->rightDrag);
}
