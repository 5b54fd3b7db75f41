#include "keyframes.h"

#include <utility>

namespace kestrova {

namespace {

using TrackGroup = std::array<Track, 3>;

// The twelve components as (key track, tween track, base, scene value).
struct Component {
  Track& key;
  Track& tween;
  float& base;
  float& value;
};

std::array<Component, 12> components(SceneState& s) {
  return {{{s.keyRotation[0], s.tweenRotation[0], s.baseRotation[0], s.rotation[0]},
           {s.keyRotation[1], s.tweenRotation[1], s.baseRotation[1], s.rotation[1]},
           {s.keyRotation[2], s.tweenRotation[2], s.baseRotation[2], s.rotation[2]},
           {s.keyPan[0], s.tweenPan[0], s.basePan[0], s.pan[0]},
           {s.keyPan[1], s.tweenPan[1], s.basePan[1], s.pan[1]},
           {s.keyPan[2], s.tweenPan[2], s.basePan[2], s.pan[2]},
           {s.keySpot[0], s.tweenSpot[0], s.baseSpot[0], s.spotLight[0]},
           {s.keySpot[1], s.tweenSpot[1], s.baseSpot[1], s.spotLight[1]},
           {s.keySpot[2], s.tweenSpot[2], s.baseSpot[2], s.spotLight[2]},
           {s.keyScale[0], s.tweenScale[0], s.baseScale[0], s.scale[0]},
           {s.keyScale[1], s.tweenScale[1], s.baseScale[1], s.scale[1]},
           {s.keyScale[2], s.tweenScale[2], s.baseScale[2], s.scale[2]}}};
}

std::array<Component, 12> components(const SceneState& s) {
  return components(const_cast<SceneState&>(s));
}

size_t at(int frame) { return static_cast<size_t>(frame); }

void setStart(SceneState& scene, const KeyValues& values) {
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) {
    c[i].base = values[i];
    c[i].tween[0] = values[i];
  }
}

void bakeSegment(SceneState& scene, int s) {
  const int a = scene.keyFrameNumbers[at(s)];
  const int b = scene.keyFrameNumbers[at(s + 1)];
  const int n = b - a;
  scene.segmentStart = a;
  scene.segmentEnd = b;
  scene.segmentLength = n;
  scene.animationLength += n;
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) {
    if (s == 0) {
      scene.bakeRunning[i] = c[i].base;
      scene.bakeTarget[i] = c[i].key[at(b)] - c[i].base;
    } else {
      // Continue from the frame before this segment, towards the absolute
      // key value.
      scene.bakeRunning[i] = a >= 1 ? c[i].tween[at(a - 1)] : c[i].tween[0];
      scene.bakeTarget[i] = c[i].key[at(b)];
    }
  }
  if (s > 0) scene.laterSegmentBaked = true;
  for (int f = a; f < b; ++f) {
    for (size_t i = 0; i < 12; ++i) {
      // The step is worked out again every frame and added to the running
      // float, as the animations have always been baked.
      if (s == 0) {
        scene.bakeRunning[i] += scene.bakeTarget[i] / static_cast<float>(n);
      } else {
        scene.bakeRunning[i] += (scene.bakeTarget[i] - scene.bakePreviousTarget[i]) / static_cast<float>(n);
      }
      c[i].tween[at(f)] = scene.bakeRunning[i];
    }
  }
  for (size_t i = 0; i < 12; ++i) {
    scene.bakePreviousTarget[i] = s == 0 ? scene.bakeRunning[i] : scene.bakeTarget[i];
  }
  scene.bakedFrameCount += n;
  scene.bakedSegmentCount += 1;
}

// The exchange sort of keys 0 to count, frame order.
void sortKeys(SceneState& scene) {
  for (int i = 0; i <= scene.keyCount; ++i) {
    for (int j = i + 1; j <= scene.keyCount; ++j) {
      if (scene.keyFrameNumbers[at(j)] < scene.keyFrameNumbers[at(i)]) {
        std::swap(scene.keyFrameNumbers[at(i)], scene.keyFrameNumbers[at(j)]);
      }
    }
  }
}

}  // namespace

KeyValues CurrentValues(const SceneState& scene) {
  KeyValues values{};
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) values[i] = c[i].value;
  return values;
}

KeyValues BaseValues(const SceneState& scene) {
  KeyValues values{};
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) values[i] = c[i].base;
  return values;
}

KeyValues TweenValues(const SceneState& scene, int frame) {
  KeyValues values{};
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) values[i] = c[i].tween[at(frame)];
  return values;
}

KeyValues KeyTrackValues(const SceneState& scene, int frame) {
  KeyValues values{};
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) values[i] = c[i].key[at(frame)];
  return values;
}

void ClearAnimationTracks(SceneState& scene) {
  scene.animationLength = 0;
  scene.keyCount = 0;
  scene.bakedFrameCount = 0;
  for (size_t i = 1; i <= 10001; ++i) scene.keyFrameNumbers[i] = 0;
  for (TrackGroup* group : {&scene.keyRotation, &scene.tweenRotation, &scene.keyPan, &scene.tweenPan,
                            &scene.keySpot, &scene.tweenSpot, &scene.keyScale, &scene.tweenScale}) {
    for (Track& track : *group) {
      for (size_t f = 1; f < kTrackFrames; ++f) track[f] = 0.0f;
    }
  }
}

void BakeAnimation(SceneState& scene) {
  while (scene.bakedSegmentCount < scene.keyCount) bakeSegment(scene, scene.bakedSegmentCount);
}

void RebakeAnimation(SceneState& scene) {
  sortKeys(scene);
  scene.bakedSegmentCount = 0;
  scene.animationLength = 0;
  scene.bakedFrameCount = 0;
  BakeAnimation(scene);
}

KeyEdit AddKeyWithValues(SceneState& scene, int frame, const KeyValues& values) {
  KeyEdit edit;
  if (frame < 0 || frame > kLastFrame) {
    edit.message = "Keys can be set on frames 0 to " + std::to_string(kLastFrame) + " only.";
    return edit;
  }
  if (frame == 0) {
    setStart(scene, values);
    edit.done = true;
    return edit;
  }
  if (scene.keyCount >= kLastFrame) {
    edit.message = "There are as many keys as frames already; no more keys can be added.";
    return edit;
  }
  const int lastFrame = scene.keyFrameNumbers[at(scene.keyCount)];
  scene.keyFrameNumbers[at(scene.keyCount + 1)] = frame;
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) c[i].key[at(frame)] = values[i];
  scene.keyCount += 1;
  scene.keysFromFile = false;
  if (frame < lastFrame) {
    RebakeAnimation(scene);
  } else {
    BakeAnimation(scene);
  }
  edit.done = true;
  return edit;
}

KeyEdit AddKey(SceneState& scene, int frame) { return AddKeyWithValues(scene, frame, CurrentValues(scene)); }

void CopyKey(SceneState& scene, int frame) {
  if (frame <= 0 || !scene.laterSegmentBaked || frame > kLastFrame) {
    scene.keyClipboard = BaseValues(scene);
  } else {
    scene.keyClipboard = TweenValues(scene, frame);
  }
}

KeyEdit PasteKey(SceneState& scene, int frame, bool keyCopied) {
  if (!keyCopied) return {false, kNothingToPaste};
  return AddKeyWithValues(scene, frame, scene.keyClipboard);
}

void Play(SceneState& scene) {
  if (scene.keyCount != 0) scene.playing = true;
}

void ClearAll(SceneState& scene) {
  scene.playing = false;
  ClearAnimationTracks(scene);
  scene.bakedSegmentCount = 0;
}

bool ShowFrame(SceneState& scene, int frame) {
  if (frame < 0 || frame > kLastFrame || frame >= scene.bakedFrameCount) return false;
  scene.currentFrame = frame;
  auto c = components(scene);
  for (size_t i = 0; i < 12; ++i) c[i].value = c[i].tween[at(frame)];
  return true;
}

}  // namespace kestrova
