#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// ---- The drag rules and the face buttons, over their whole tables ----

namespace {

enum class Field { Rotation, Pan, Scale, Spot, Scroll };

float& valueOf(SceneState& scene, Field field, int axis) {
  switch (field) {
    case Field::Rotation: return scene.rotation[static_cast<size_t>(axis)];
    case Field::Pan: return scene.pan[static_cast<size_t>(axis)];
    case Field::Scale: return scene.scale[static_cast<size_t>(axis)];
    case Field::Spot: return scene.spotLight[static_cast<size_t>(axis)];
    case Field::Scroll: return scene.textureScroll[static_cast<size_t>(axis)];
  }
  return scene.rotation[0];
}

// One value a drag step moves: value += perDx * dx + perDy * dy, shown in
// slider `mirror` (-1: not shown).
struct Effect {
  Field field;
  int axis;
  float perDx, perDy;
  int mirror;
};

// The drag rules as the mouse section tabulates them, written out case by
// case rather than derived, so a slip in the code has nothing to agree with.
std::vector<Effect> expectedEffects(bool right, bool panel, int sub, int scroll, int movement, int kind,
                                    int binding) {
  if (!panel) {
    if (right) return {{Field::Rotation, 2, 0.5f, 0.5f, -1}};
    return {{Field::Rotation, 0, 0, 1, -1}, {Field::Rotation, 1, 1, 0, -1}};
  }
  if (right) {
    if (sub <= 1 && scroll <= 1) {
      if (movement <= 1) return {{Field::Rotation, 2, 0.5f, 0.5f, 2}};
      if (movement == 2) return {{Field::Pan, 2, 1, 1, 2}};
      if (movement == 3) return {{Field::Scale, 2, 1, 1, 2}};
      return {};
    }
    if (sub == 2) return {{Field::Spot, 2, 0.5f, 0.5f, 2}};
    return {};
  }
  if (sub == 2) return {{Field::Spot, 0, 1, 0, 0}, {Field::Spot, 1, 0, -1, 1}};
  if (scroll >= 2) return {{Field::Scroll, 0, 0, 1, 0}, {Field::Scroll, 1, 1, 0, 1}};
  // The pan rule: four times as far on a hard-bound book or the mug.
  const float pace = kind <= 2 && binding >= 2 ? 4.0f : 1.0f;
  if (movement <= 1) return {{Field::Rotation, 0, 0, 1, 0}, {Field::Rotation, 1, 1, 0, 1}};
  if (movement == 2) return {{Field::Pan, 0, pace, 0, 0}, {Field::Pan, 1, 0, -pace, 1}};
  if (movement == 3) return {{Field::Scale, 0, pace, 0, 0}, {Field::Scale, 1, 0, -pace, 1}};
  return {};
}

}  // namespace

TEST(Drag, EveryButtonPanelModeAndProductMovesWhatTheRulesSay) {
  constexpr float dx = 3, dy = 5;  // unequal, so a swapped pair shows
  const Field fields[] = {Field::Rotation, Field::Pan, Field::Scale, Field::Spot, Field::Scroll};
  int cases = 0;
  for (bool right : {false, true}) {
    for (bool panel : {false, true}) {
      for (int sub : {0, 1, 2}) {
        for (int scroll : {0, 1, 2}) {
          for (int movement : {0, 1, 2, 3}) {
            for (int kind : {0, 1, 2, 4, 6}) {
              for (int binding : {1, 2}) {
                auto scene = std::make_unique<SceneState>();
                scene->rotation = scene->pan = scene->scale = scene->spotLight = {0, 0, 0};
                scene->textureScroll = {0, 0};
                scene->panelSubMode = static_cast<float>(sub);
                scene->textureScrollMode = static_cast<float>(scroll);
                scene->movementMode = static_cast<float>(movement);
                scene->productKind = static_cast<float>(kind);
                scene->bookBinding = static_cast<float>(binding);
                BeginDrag(*scene, right, 100, 100);
                const DragOutcome out = DragTo(*scene, 100 + 2 * 3, 100 + 2 * 5, false, panel);
                const std::string where = std::string(right ? "right" : "left") + (panel ? " panel" : "") +
                                          " sub " + std::to_string(sub) + " scroll " + std::to_string(scroll) +
                                          " movement " + std::to_string(movement) + " kind " +
                                          std::to_string(kind) + " binding " + std::to_string(binding);
                EXPECT_TRUE(out.moved) << where;
                EXPECT_EQ(scene->spinVelocity, (std::array<float, 2>{dx, dy})) << where;
                const std::vector<Effect> effects = expectedEffects(right, panel, sub, scroll, movement, kind, binding);
                auto reference = std::make_unique<SceneState>();
                reference->rotation = reference->pan = reference->scale = reference->spotLight = {0, 0, 0};
                reference->textureScroll = {0, 0};
                std::array<std::optional<float>, 3> mirrors{};
                for (const Effect& effect : effects) {
                  float& value = valueOf(*reference, effect.field, effect.axis);
                  value += effect.perDx * dx + effect.perDy * dy;
                  if (effect.mirror >= 0) mirrors[static_cast<size_t>(effect.mirror)] = value;
                }
                for (Field field : fields) {
                  for (int axis = 0; axis < (field == Field::Scroll ? 2 : 3); ++axis) {
                    EXPECT_EQ(valueOf(*scene, field, axis), valueOf(*reference, field, axis))
                        << where << " field " << static_cast<int>(field) << " axis " << axis;
                  }
                }
                EXPECT_EQ(out.mirror, mirrors) << where;
                ++cases;
              }
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(cases, 1440);
}

TEST(FaceButtons, EachButtonAsksForTheFaceOfTheProductShown) {
  using B = FaceButton;
  // Rows: the product kinds book (0 and 1), mug, box, board; per binding.
  struct Row {
    B button;
    int kind;
    int binding;
    float SceneState::*request;  // null: the button asks for nothing
    bool cover;
  };
  std::vector<Row> rows;
  for (int binding : {1, 2}) {
    const bool paper = binding <= 1;
    for (int book : {0, 1}) {
      rows.push_back({B::Front, book, binding, &SceneState::bookFrontLoadRequest, true});
      rows.push_back({B::Back, book, binding, &SceneState::bookBackLoadRequest, true});
      rows.push_back({B::Spine, book, binding, &SceneState::bookSpineLoadRequest, true});
      rows.push_back({B::Right, book, binding, paper ? &SceneState::bookRightLoadRequest : nullptr, false});
      rows.push_back({B::Top, book, binding, paper ? &SceneState::bookTopLoadRequest : nullptr, false});
      rows.push_back({B::Bottom, book, binding, paper ? &SceneState::bookBottomLoadRequest : nullptr, false});
    }
    for (B button : {B::Front, B::Spine, B::Right, B::Top, B::Bottom}) rows.push_back({button, 2, binding, nullptr, false});
    rows.push_back({B::Back, 2, binding, &SceneState::mugLoadRequest, false});
    rows.push_back({B::Front, 4, binding, &SceneState::boxFrontLoadRequest, false});
    rows.push_back({B::Back, 4, binding, &SceneState::boxBackLoadRequest, false});
    rows.push_back({B::Spine, 4, binding, &SceneState::boxLeftLoadRequest, false});
    rows.push_back({B::Right, 4, binding, &SceneState::boxRightLoadRequest, false});
    rows.push_back({B::Top, 4, binding, &SceneState::boxTopLoadRequest, false});
    rows.push_back({B::Bottom, 4, binding, &SceneState::boxBottomLoadRequest, false});
    rows.push_back({B::Front, 6, binding, &SceneState::boxFrontLoadRequest, false});
    for (B button : {B::Back, B::Spine, B::Right, B::Top, B::Bottom}) rows.push_back({button, 6, binding, nullptr, false});
  }
  ASSERT_EQ(rows.size(), 2u * 5u * 6u);
  const std::vector<float SceneState::*> requests = {
      &SceneState::boxFrontLoadRequest,  &SceneState::boxBackLoadRequest,   &SceneState::boxLeftLoadRequest,
      &SceneState::boxRightLoadRequest,  &SceneState::boxTopLoadRequest,    &SceneState::boxBottomLoadRequest,
      &SceneState::bookFrontLoadRequest, &SceneState::bookBackLoadRequest,  &SceneState::bookSpineLoadRequest,
      &SceneState::bookRightLoadRequest, &SceneState::bookTopLoadRequest,   &SceneState::bookBottomLoadRequest,
      &SceneState::mugLoadRequest};
  for (const Row& row : rows) {
    auto scene = std::make_unique<SceneState>();
    scene->productKind = static_cast<float>(row.kind);
    scene->bookBinding = static_cast<float>(row.binding);
    for (auto request : requests) (*scene).*request = 0;
    scene->bookCoverChanged = 0;
    PressFaceButton(*scene, row.button);
    const std::string where = "button " + std::to_string(static_cast<int>(row.button)) + " kind " +
                              std::to_string(row.kind) + " binding " + std::to_string(row.binding);
    for (auto request : requests) {
      EXPECT_EQ((*scene).*request, request == row.request ? 2.0f : 0.0f) << where;
    }
    EXPECT_EQ(scene->bookCoverChanged, row.cover ? 2.0f : 0.0f) << where;
  }
}

TEST(MovementRadios, LeaveSpotAndScrollAndOnlyScaleMarksTheScaleVersion) {
  for (int mode : {0, 2, 3}) {
    auto scene = std::make_unique<SceneState>();
    scene->formatVersion = std::string(1, '\x02');
    scene->panelSubMode = 2;
    scene->textureScrollMode = 2;
    SelectMovementMode(*scene, mode);
    EXPECT_EQ(scene->movementMode, static_cast<float>(mode));
    EXPECT_EQ(scene->panelSubMode, 0.0f);
    EXPECT_EQ(scene->textureScrollMode, 0.0f);
    EXPECT_EQ(scene->formatVersion, std::string(1, mode == 3 ? '\x03' : '\x02')) << mode;
  }
}

TEST(HeldLastFrame, TheFirstDragOrFaceButtonGivesThePoseBack) {
  const struct {
    bool playing;
    int keys, frame, length;
    bool stops;
  } cases[] = {
      {true, 2, 99, 100, true},    // played to its end: held
      {true, 2, 50, 100, false},   // still playing
      {false, 2, 99, 100, false},  // stopped already
      {true, 0, 0, 0, false},      // nothing loaded
  };
  for (const auto& c : cases) {
    for (int action = 0; action < 2; ++action) {
      SceneState scene;
      scene.playing = c.playing;
      scene.keyCount = c.keys;
      scene.currentFrame = c.frame;
      scene.animationLength = c.length;
      scene.rotation = {11, 22, 33};
      if (action == 0) BeginDrag(scene, false, 5, 5);
      else PressFaceButton(scene, FaceButton::Front);
      EXPECT_EQ(scene.playing, c.playing && !c.stops) << c.frame << "/" << c.length << " action " << action;
      EXPECT_EQ(scene.rotation, (Vec3{11, 22, 33})) << "the held pose stays, now the user's";
    }
  }
}
