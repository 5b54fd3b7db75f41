#pragma once
// Keyframe animation on the scene record: keys, the incremental bake into
// per-frame tween tracks, copy and paste, playback and scrubbing. Plain code:
// the control panel calls it and shows the results.
#include <array>
#include <string>

#include "scene/scene_state.h"

namespace kestrova {

// The twelve values of one moment, in track order: rotation X, Y, Z; pan X,
// pan Y, zoom; spot light X, Y, Z; scale X, Y, Z.
using KeyValues = std::array<float, 12>;

KeyValues CurrentValues(const SceneState& scene);
KeyValues BaseValues(const SceneState& scene);
KeyValues TweenValues(const SceneState& scene, int frame);
KeyValues KeyTrackValues(const SceneState& scene, int frame);

// Keys sit on frames 1 to 9999; frame 0 holds the start values.
constexpr int kLastFrame = kTrackFrames - 1;
constexpr int kMaxKeys = kKeyCapacity - 1;

// Outcome of an edit: empty message when it was done.
struct KeyEdit {
  bool done = false;
  std::string message;
};

// Empties keys and tracks; frame 0 of every track and the base values stay.
void ClearAnimationTracks(SceneState& scene);

// Bakes the segments not baked yet, each one running from key s to key s+1
// and ending with the key's value one frame before the key.
void BakeAnimation(SceneState& scene);

// Puts the keys in frame order (the exchange sort Paste uses) and bakes every
// segment again from the start.
void RebakeAnimation(SceneState& scene);

// "+ Add Key" at timeline position `frame` with the scene's current values.
// At frame 0 only the start values change. A key before the last one is put
// in order and everything is baked again.
KeyEdit AddKey(SceneState& scene, int frame);

// The same with given values (Paste).
KeyEdit AddKeyWithValues(SceneState& scene, int frame, const KeyValues& values);

// "Copy": the start values at frame 0 (or before a second segment exists),
// else the baked values at `frame`.
void CopyKey(SceneState& scene, int frame);

// "Paste": refused with a message while nothing was copied.
KeyEdit PasteKey(SceneState& scene, int frame, bool keyCopied);

constexpr const char* kNothingToPaste = "Please Copy a Keyframe. There's currently nothing to Paste.";

// "Play >": starts playback when there are keys.
void Play(SceneState& scene);

// "Clear All": stops playback and empties the animation.
void ClearAll(SceneState& scene);

// Scrubbing: shows `frame` of the baked tracks (all twelve values, scale
// without the version test). Frames outside the baked range are ignored.
bool ShowFrame(SceneState& scene, int frame);

}  // namespace kestrova
