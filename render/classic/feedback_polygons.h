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

// For as long as it lives, eye coordinates within +-reach on every axis map
// linearly to window coordinates (an orthographic projection; the model-view
// matrix made identity when asked), so feedback gives a drawing's eye
// coordinates back. Both matrices are put back after.
class EyeSpaceCapture {
 public:
  EyeSpaceCapture(double reach, bool identityModelView);
  ~EyeSpaceCapture();
  EyeSpaceCapture(const EyeSpaceCapture&) = delete;
  EyeSpaceCapture& operator=(const EyeSpaceCapture&) = delete;
};

}  // namespace kestrova
