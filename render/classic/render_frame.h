#pragma once
#include "render/render_host.h"
#include "scene/scene_state.h"

namespace kestrova {

// Draws one frame of the shot into the current GL context. Never makes a
// context current and never swaps.
void RenderFrame(SceneState& scene, RenderHost& host);

// The shot's product alone, as the still frame draws it (no floor, no
// requests served), with the current matrices.
void DrawShotProduct(SceneState& scene);

// The pose of frame currentFrame of the baked tracks, without drawing.
void ApplyPlaybackPose(SceneState& scene);

// The playback path: the next frame of the baked tracks.
void RenderPlaybackFrame(SceneState& scene, RenderHost& host);

// Viewport and projection for a client area of cx by cy pixels. A height of 0
// counts as 1 for the GL; the scene keeps the 0.
void ApplyViewSize(SceneState& scene, int cx, int cy);

}  // namespace kestrova
