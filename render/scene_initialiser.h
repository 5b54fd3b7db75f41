#pragma once
#include "scene/scene_state.h"

namespace kestrova {

// The GL state the scene starts from: texturing, smooth shading, white clear
// colour, less-or-equal depth test, nicest perspective correction.
void SetInitialGLState();

// The start-up values of the scene: box size, rotation, lamp, pan,
// background, light colour and the face grid. Needs a current context (the
// lamp is GL state).
void SetInitialSceneValues(SceneState& scene);

// Both of the above, for headless use where no textures are loaded.
void InitialiseSceneDefaults(SceneState& scene);

// Gives backgroundColor to the GL as the clear colour (alpha 0).
void ApplyClearColor(const SceneState& scene);

// The lamp every product starts from: GL_LIGHT1 with ambient 0.5, diffuse 1,
// at the eye.
void ResetLamp();

}  // namespace kestrova
