#pragma once
// Products drawn from 3DS models: the hard-back book and the mug.
#include "scene/scene_state.h"

namespace kestrova {

// The four book models. `stillPath`: the first-use spot height and the lamp
// reset before each model happen only outside playback.
void DrawModelledBook(SceneState& scene, bool stillPath);

// The mug: wrap pass and sphere-mapped reflection pass.
void DrawMug(SceneState& scene);

}  // namespace kestrova
