#pragma once
// The shot's product as a shop's 3D model (formats/shop_model.h): its
// triangles as the shot draws them, at real size, with its faces' artwork
// packed into one texture. Needs the current context that holds the shot's
// textures.
#include <string>

#include "formats/shop_model.h"
#include "formats/shop_page.h"
#include "scene/scene_state.h"

namespace kestrova {

struct ShopExportOptions {
  int textureSize = 2048;  // the atlas's largest side, a power of two
  // Height, width and depth in millimetres; 0 for the product's own size
  // (its style's real height, its drawn proportions).
  float dimensions[3] = {0, 0, 0};
};

// The real height of the shot's product, in metres: its style's (a retail
// box, a DVD case, a paperback...), a mug's, a screen shot board's.
double RealHeightMetres(const SceneState& scene);

// False with `error` when the product has no triangles or the GL cannot
// give its textures back. `camera`: also the studio look's camera for a
// width x height picture of the shot, in the model's frame (metres,
// standing at its bottom's middle, unturned), as a product page's viewer
// takes it; its roll (the shot's Z) is left out.
bool BuildShopModel(SceneState& scene, const ShopExportOptions& options, ShopModel* model, std::string* error,
                    ShopPageCamera* camera = nullptr, int width = 0, int height = 0);

}  // namespace kestrova
