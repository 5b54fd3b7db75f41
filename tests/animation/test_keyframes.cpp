#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "animation/keyframes.h"

using namespace kestrova;

namespace {

std::unique_ptr<SceneState> freshScene() {
  auto scene = std::make_unique<SceneState>();
  scene->rotation = {0, 0, 0};
  scene->spotLight = {0, 0, 0};
  scene->baseRotation = {0, 0, 0};
  scene->baseSpot = {0, 0, 0};
  return scene;
}

}  // namespace

TEST(Keyframes, KeysReachTheirValuesOneFrameBeforeTheirFrame) {
  auto scene = freshScene();
  scene->rotation[1] = 100;
  ASSERT_TRUE(AddKey(*scene, 100).done);
  scene->rotation[1] = 50;
  ASSERT_TRUE(AddKey(*scene, 200).done);
  EXPECT_FLOAT_EQ(scene->tweenRotation[1][0], 1.0f);
  EXPECT_NEAR(scene->tweenRotation[1][99], 100.0f, 1e-3);
  EXPECT_NEAR(scene->tweenRotation[1][149], 75.0f, 1e-3);
  EXPECT_NEAR(scene->tweenRotation[1][199], 50.0f, 1e-3);
  EXPECT_EQ(scene->tweenRotation[1][200], 0.0f) << "nothing is baked at the last key's own frame";
  EXPECT_EQ(scene->animationLength, 200);
  EXPECT_EQ(scene->bakedFrameCount, 200);
  EXPECT_EQ(scene->keyCount, 2);
  EXPECT_TRUE(scene->laterSegmentBaked);
}

TEST(Keyframes, StepsAreAccumulatedAsFloats) {
  auto scene = freshScene();
  scene->pan[0] = 1.0f;
  AddKey(*scene, 3);
  // Running sums of 1/3, not f * (1/3): the third frame is exactly 1/3 + 1/3 + 1/3 in float.
  const float third = 1.0f / 3.0f;
  float running = 0.0f;
  for (int f = 0; f < 3; ++f) {
    running += third;
    EXPECT_EQ(scene->tweenPan[0][static_cast<size_t>(f)], running) << f;
  }
}

TEST(Keyframes, EqualAdjacentKeysBakeAConstantStretch) {
  auto scene = freshScene();
  scene->rotation[0] = 40;
  AddKey(*scene, 50);
  AddKey(*scene, 120);
  for (int f = 50; f < 120; ++f) EXPECT_NEAR(scene->tweenRotation[0][static_cast<size_t>(f)], 40.0f, 1e-4) << f;
}

TEST(Keyframes, KeyAtTheLastKeysFrameAddsAZeroLengthSegment) {
  auto scene = freshScene();
  scene->rotation[2] = 10;
  AddKey(*scene, 60);
  const float before = scene->tweenRotation[2][59];
  scene->rotation[2] = 99;
  ASSERT_TRUE(AddKey(*scene, 60).done);
  EXPECT_EQ(scene->keyCount, 2);
  EXPECT_EQ(scene->animationLength, 60);
  EXPECT_EQ(scene->tweenRotation[2][59], before);
  EXPECT_EQ(scene->keyRotation[2][60], 99.0f);
}

TEST(Keyframes, KeyAtFrameZeroReplacesTheStartValuesOnly) {
  auto scene = freshScene();
  scene->rotation = {5, 6, 7};
  scene->scale = {1, 2, 3};
  ASSERT_TRUE(AddKey(*scene, 0).done);
  EXPECT_EQ(scene->keyCount, 0);
  EXPECT_EQ(scene->baseRotation, (Vec3{5, 6, 7}));
  EXPECT_EQ(scene->baseScale, (Vec3{1, 2, 3}));
  EXPECT_EQ(scene->tweenRotation[1][0], 6.0f);
}

TEST(Keyframes, OutOfOrderKeyIsSortedAndEverythingBakedAgain) {
  auto scene = freshScene();
  scene->rotation[0] = 100;
  AddKey(*scene, 100);
  scene->rotation[0] = 50;
  AddKey(*scene, 50);  // before the last key
  EXPECT_EQ(scene->keyFrameNumbers[1], 50);
  EXPECT_EQ(scene->keyFrameNumbers[2], 100);
  EXPECT_EQ(scene->animationLength, 100);
  EXPECT_NEAR(scene->tweenRotation[0][49], 50.0f, 1e-3);
  EXPECT_NEAR(scene->tweenRotation[0][99], 100.0f, 1e-3);
}

TEST(Keyframes, FramesPastTheTracksAndTooManyKeysAreRefused) {
  auto scene = freshScene();
  const KeyEdit late = AddKey(*scene, 10000);
  EXPECT_FALSE(late.done);
  EXPECT_FALSE(late.message.empty());
  EXPECT_EQ(scene->keyCount, 0);
  EXPECT_FALSE(ShowFrame(*scene, 10000));
  scene->keyCount = kLastFrame;
  scene->bakedSegmentCount = kLastFrame;
  const KeyEdit full = AddKey(*scene, 5);
  EXPECT_FALSE(full.done);
  EXPECT_NE(full.message.find("as many keys as frames"), std::string::npos);
}

TEST(Keyframes, PasteNeedsACopyAndThenAddsTheCopiedKey) {
  auto scene = freshScene();
  const KeyEdit nothing = PasteKey(*scene, 30, false);
  EXPECT_FALSE(nothing.done);
  EXPECT_EQ(nothing.message, "Please Copy a Keyframe. There's currently nothing to Paste.");
  EXPECT_EQ(scene->keyCount, 0);

  scene->rotation[1] = 80;
  AddKey(*scene, 40);
  scene->rotation[1] = 20;
  AddKey(*scene, 80);
  CopyKey(*scene, 39);
  EXPECT_NEAR(scene->keyClipboard[1], 80.0f, 1e-3);
  const Vec3 before = scene->rotation;
  ASSERT_TRUE(PasteKey(*scene, 120, true).done);
  EXPECT_EQ(scene->rotation, before) << "paste does not move the shot";
  EXPECT_EQ(scene->keyCount, 3);
  EXPECT_NEAR(scene->tweenRotation[1][119], 80.0f, 1e-3);
}

TEST(Keyframes, CopyTakesTheStartValuesBeforeASecondSegment) {
  auto scene = freshScene();
  scene->baseRotation = {1, 2, 3};
  scene->rotation = {9, 9, 9};
  AddKey(*scene, 10);
  CopyKey(*scene, 5);
  EXPECT_EQ(scene->keyClipboard[0], 1.0f);
}

TEST(Keyframes, CopyAtFrameZeroTakesTheStartValuesEvenAfterALaterSegment) {
  auto scene = freshScene();
  scene->baseRotation = {1, 2, 3};
  scene->rotation = {9, 9, 9};
  AddKey(*scene, 10);
  scene->rotation = {40, 50, 60};
  AddKey(*scene, 20);
  ASSERT_TRUE(scene->laterSegmentBaked);
  ASSERT_NE(scene->tweenRotation[0][0], 1.0f) << "frame 0's tween is a step past the start";
  CopyKey(*scene, 0);
  EXPECT_EQ(scene->keyClipboard[0], 1.0f);
  EXPECT_EQ(scene->keyClipboard[1], 2.0f);
  EXPECT_EQ(scene->keyClipboard[2], 3.0f);
  CopyKey(*scene, 1);
  EXPECT_EQ(scene->keyClipboard[0], scene->tweenRotation[0][1]) << "past frame 0 the tween's values";
}

// The hold at the last frame is the frame's: see AnimationPanel.PlayAtTheEnd….
TEST(Keyframes, PlayGoesOnFromTheCurrentFrameAndClearAllKeepsTheStart) {
  auto scene = freshScene();
  Play(*scene);
  EXPECT_FALSE(scene->playing) << "nothing to play";
  scene->rotation[0] = 30;
  AddKey(*scene, 20);
  scene->currentFrame = 19;
  Play(*scene);
  EXPECT_TRUE(scene->playing);
  EXPECT_EQ(scene->currentFrame, 19) << "playing on from where it stands";

  scene->baseRotation = {4, 5, 6};
  ClearAll(*scene);
  EXPECT_FALSE(scene->playing);
  EXPECT_EQ(scene->keyCount, 0);
  EXPECT_EQ(scene->animationLength, 0);
  EXPECT_EQ(scene->keyRotation[0][20], 0.0f);
  EXPECT_EQ(scene->baseRotation, (Vec3{4, 5, 6}));
  // A following key interpolates from the kept start values.
  scene->rotation[0] = 14;
  AddKey(*scene, 10);
  EXPECT_NEAR(scene->tweenRotation[0][0], 5.0f, 1e-4);
}

TEST(Keyframes, ShowFrameSetsAllTwelveValuesInsideTheBakedRange) {
  auto scene = freshScene();
  scene->scale = {10, 20, 30};
  scene->pan = {1, 2, 3};
  AddKey(*scene, 10);
  scene->scale = {0, 0, 0};
  ASSERT_TRUE(ShowFrame(*scene, 9));
  EXPECT_EQ(scene->currentFrame, 9);
  EXPECT_NEAR(scene->scale[2], 30.0f, 1e-4);
  EXPECT_NEAR(scene->pan[1], 2.0f, 1e-4);
  EXPECT_FALSE(ShowFrame(*scene, 10)) << "frame 10 is not baked";
}

namespace {

// The bake as the format's documentation words it, kept apart from the
// engine: segment s from key s to key s+1; the first segment steps towards
// the difference from the start values, later ones towards the key's value
// from the previous target; the step is added to a running float each frame.
struct Transcribed {
  std::array<std::vector<float>, 12> tween;
  int animationLength = 0;
};

Transcribed transcribedBake(const std::vector<int>& frames, const std::vector<KeyValues>& keys,
                            const KeyValues& base) {
  Transcribed out;
  for (auto& track : out.tween) track.assign(kTrackFrames, 0.0f);
  KeyValues running{};
  KeyValues target{};
  KeyValues previousTarget{};
  for (size_t s = 0; s + 1 < frames.size(); ++s) {
    const int a = frames[s];
    const int b = frames[s + 1];
    const int n = b - a;
    out.animationLength += n;
    for (size_t c = 0; c < 12; ++c) {
      running[c] = s == 0 ? base[c] : out.tween[c][static_cast<size_t>(a - 1)];
      target[c] = s == 0 ? keys[s + 1][c] - base[c] : keys[s + 1][c];
    }
    for (int f = a; f < b; ++f) {
      for (size_t c = 0; c < 12; ++c) {
        running[c] += s == 0 ? target[c] / static_cast<float>(n) : (target[c] - previousTarget[c]) / static_cast<float>(n);
        out.tween[c][static_cast<size_t>(f)] = running[c];
      }
    }
    for (size_t c = 0; c < 12; ++c) previousTarget[c] = s == 0 ? running[c] : target[c];
  }
  return out;
}

}  // namespace

TEST(Keyframes, BakeMatchesTheDocumentedLoopBitForBitOnLongRandomAnimations) {
  std::mt19937 random(20261207);
  std::uniform_real_distribution<float> value(-500.0f, 500.0f);
  for (int animation = 0; animation < 4; ++animation) {
    auto scene = std::make_unique<SceneState>();
    KeyValues base{};
    for (float& v : base) v = value(random);
    // The start values, as Add Key at frame 0 sets them.
    ASSERT_TRUE(AddKeyWithValues(*scene, 0, base).done);
    std::vector<int> frames{0};
    std::vector<KeyValues> keys{base};
    int frame = 0;
    std::uniform_int_distribution<int> gap(1, 400);
    while (true) {
      frame += gap(random);
      if (frame > kLastFrame) break;
      KeyValues key{};
      for (float& v : key) v = value(random);
      ASSERT_TRUE(AddKeyWithValues(*scene, frame, key).done);
      frames.push_back(frame);
      keys.push_back(key);
    }
    const Transcribed expected = transcribedBake(frames, keys, base);
    EXPECT_EQ(scene->animationLength, expected.animationLength);
    int differing = 0;
    for (int f = 0; f < expected.animationLength; ++f) {
      const KeyValues baked = TweenValues(*scene, f);
      for (size_t c = 0; c < 12; ++c) {
        uint32_t have = 0;
        uint32_t want = 0;
        std::memcpy(&have, &baked[c], 4);
        std::memcpy(&want, &expected.tween[c][static_cast<size_t>(f)], 4);
        differing += have != want;
      }
    }
    EXPECT_EQ(differing, 0) << "animation " << animation << " of " << frames.size() - 1 << " keys";
  }
}
