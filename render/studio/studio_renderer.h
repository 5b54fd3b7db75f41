#pragma once
// The studio look: the shot's product standing on its floor in a lit
// studio, with soft shadows, drawn with GLSL into the current context's
// bound framebuffer. The classic frame is untouched by it.
#include <string>

#include "scene/scene_state.h"

namespace kestrova::studio {

// Draws the part x0..x0+w, y0..y0+h (rows from the top) of a width x height
// picture of the shot into the current viewport. Work that does not depend
// on the part (the product's triangles, the shadows) is kept for the next
// part of the same shot. False, with `error`, when the GL cannot do it.
bool DrawStudioTile(SceneState& scene, int width, int height, int x0, int y0, int w, int h, std::string* error);

// The whole picture, for the window's view: while the shot keeps changing
// (a drag), its shadows are cast from fewer points, and in full once it
// rests.
bool DrawStudioFrame(SceneState& scene, int width, int height, std::string* error);

// The shot as the studio look would draw it at width x height, described as
// plain data (JSON) another renderer can rebuild: the camera, the lights,
// the environment, the floor and the product's triangles in the floor's
// frame (y up) with each texture's mean linear colour.
bool DescribeStudioShot(SceneState& scene, int width, int height, std::string* json, std::string* error);

// The product's surface as the studio look shades it: GGX roughness, the
// share of light a clear coat reflects (0 for none) and its roughness.
struct SurfaceFinish {
  float roughness, reflectance, coat, coatRoughness;
};
SurfaceFinish FinishOf(const SceneState& scene, bool ceramic);

// The largest part of a picture drawn multisampled at once, a side (0: the
// usual 2048): lowered, a small picture is drawn in parts as a large one is.
void LimitStudioPart(int side);

// Forgets what was kept for the current context (its GL names are gone or
// about to go).
void ForgetStudioResources();

}  // namespace kestrova::studio
