#pragma once
// Products built from flat faces: the box styles, the flat paperback and the
// screen-shot board. Every face is the scene's 45 x 45 grid, placed by its
// own translation, rotations and scale.
#include <array>
#include <cstdint>

#include "scene/scene_state.h"

namespace kestrova {

// Binds a face's picture and marks it in the GL's feedback stream (a pass
// -through of the texture's name; nothing at all when drawing), so a
// feedback pass can tell which face each drawn polygon shows.
void BindFaceTexture(uint32_t texture);

// The GL state every flat face is drawn with; FaceStateBlock also binds
// `texture`.
void FaceState();
void FaceStateBlock(uint32_t texture);

// GL_LIGHT1 as a spot at spotLight / divisor with the given exponent; the
// matrix must be the identity so the values are eye coordinates.
void FaceSpotLight(const SceneState& scene, float divisor, float exponent);

// Draws the grid as 44 x 44 quads with the vertex offset added.
void DrawFace(const SceneState& scene, float ox, float oy, float oz);
void DrawFaceImmediate(const SceneState& scene, float ox, float oy, float oz);

// Faces are drawn from vertex arrays; immediate mode stays selectable so the
// benchmark and the tests can compare the two.
void UseImmediateModeFaces(bool immediate);

// The six faces front, back, left, right, top, bottom on these textures.
void DrawBox(const SceneState& scene, const std::array<uint32_t, 6>& textures);

// Box slots and book slots for DrawBox.
std::array<uint32_t, 6> BoxTextures(const SceneState& scene);
std::array<uint32_t, 6> FlatBookTextures(const SceneState& scene);

// The two-sided board sized from the last picture's natural size.
void DrawScreenShot(SceneState& scene);

}  // namespace kestrova
