#pragma once
// The shot's product drawn once through the GL's feedback mode: every
// polygon it draws, with its vertices' window coordinates and texture
// coordinates, and the texture marked (BindFaceTexture's pass-through)
// before it. The matrices and viewport in place decide the coordinates.
#include <cstdint>
#include <functional>
#include <vector>

#include "scene/scene_state.h"

namespace kestrova {

struct FeedbackVertex {
  double x, y, z;  // window coordinates, z in the depth range
  double s, t;     // texture coordinates
};

using FeedbackPolygon = std::function<void(uint32_t texture, const std::vector<FeedbackVertex>& polygon)>;

void ForEachFeedbackPolygon(SceneState& scene, const FeedbackPolygon& polygon);

}  // namespace kestrova
