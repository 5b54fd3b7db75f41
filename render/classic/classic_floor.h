#pragma once
// The classic frame's floor under the product: a soft shadow from a light
// straight above and a reflection fading with depth below the floor. Both
// are drawn before the product, into whatever framebuffer is bound, and
// leave the GL state as they found it, so the product itself draws exactly
// as without them.
#include <functional>

#include "scene/scene_state.h"

namespace kestrova {

// The product's extent in eye coordinates as the current modelview puts it
// (read back through the GL's feedback mode, so every face and model counts).
struct EyeBounds {
  bool valid = false;  // nothing was drawn
  float min[3] = {0, 0, 0};
  float max[3] = {0, 0, 0};
};
EyeBounds ProductEyeBounds(const std::function<void()>& drawProduct);

// The floor is the horizontal plane (eye y) through the product's lowest
// point. `drawProduct` draws the product without serving any requests; it is
// called once for the bounds and once for each of shadow and reflection.
void DrawStudioFloor(const StudioFloor& floor, const std::function<void()>& drawProduct);

}  // namespace kestrova
