#pragma once
// Start-up assets loaded when first shown: a render of the box need not
// decode the book's and the mug's pictures nor read their models.
#include <optional>
#include <string>

#include "scene/scene_state.h"

namespace kestrova {

// Marks every default picture and model of the products as waiting in
// `programFolder`. The scene ends as the full start-up would leave it in all
// that can be seen before a product is drawn: the last picture's size (the
// mug's texture) is read from its header, so the board sizes the same.
void DeferStartupAssets(SceneState& scene, const std::string& programFolder);

enum class ShownProduct { Box, ScreenShot, Mug, Book };

// What a frame of `productKind` draws; none for a kind no product has.
std::optional<ShownProduct> ShownProductOf(float productKind);

// Loads whatever the product about to be drawn shows and is still waiting.
// A slot that was given a picture meanwhile keeps it. Needs the context.
void LoadAssetsFor(SceneState& scene, ShownProduct product);

}  // namespace kestrova
