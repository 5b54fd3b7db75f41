#pragma once
#include "scene/scene_state.h"

namespace kestrova {

// Steps of the scene initialiser that set GL state and scene defaults; needs
// the view's context current. Texture and model loading happen around it.
void InitialiseSceneDefaults(SceneState& scene);

// Gives backgroundColor to the GL as the clear colour (alpha 0).
void ApplyClearColor(const SceneState& scene);

// The lamp every product starts from: GL_LIGHT1 with ambient 0.5, diffuse 1,
// at the eye.
void ResetLamp();

}  // namespace kestrova
