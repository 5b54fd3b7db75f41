#pragma once
// Products drawn from 3DS models: the hard-back book and the mug.
#include "scene/model.h"
#include "scene/scene_state.h"

namespace kestrova {

// Draws every object of `model` with the current matrix, texture and lights.
// Texture coordinates are looked up by vertex index and shifted by
// (ds, dt); objects without a texture send none (the front cover sends none
// then at all: `frontCover`).
void DrawModel(const Model3DS& model, float ds, float dt, bool frontCover = false);

// The four book models. `stillPath`: the first-use spot height and the lamp
// reset before each model happen only outside playback.
void DrawModelledBook(SceneState& scene, bool stillPath);

// The mug: wrap pass and sphere-mapped reflection pass.
void DrawMug(SceneState& scene);

}  // namespace kestrova
