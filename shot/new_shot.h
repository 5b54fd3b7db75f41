#pragma once
#include "scene/scene_state.h"

namespace kestrova {

// New: the default product and settings, the animation cleared when there
// was one, the six default box images reloaded. `panelOpen` carries the last
// drag's step into the rotation, as reopening the panel does. The control
// panel itself is the caller's to rebuild. Needs a current GL context.
void NewShot(SceneState& scene, bool panelOpen);

}  // namespace kestrova
