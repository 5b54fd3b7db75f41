#pragma once
// Textures made by the tests: each face slot gets its own colour with a
// checker and a dark bar along its top edge, so placement and orientation
// show in a picture.
#include <cstdint>

#include "scene/scene_state.h"

namespace kestrova::test {

// Uploads a 64 x 64 texture of the given colour and returns its GL name.
uint32_t MakeFaceTexture(uint8_t r, uint8_t g, uint8_t b);

// A texture of one colour (1 x 1 unless a size is given): a face drawn flat.
uint32_t MakeFlatTexture(uint8_t r, uint8_t g, uint8_t b, int width = 1, int height = 1);

// Fills every texture slot with a distinct face texture.
void FillSlotsWithTestTextures(SceneState& scene);

// A still standard retail box with the test textures on white, past the
// start-up frames. Needs a current context.
void StillTestBox(SceneState& scene);

}  // namespace kestrova::test
