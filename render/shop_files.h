#pragma once
// A product's files for shops, made one way for the command line and the
// window: the 3D model (GLB, USDZ) and the one-file product page with its
// poster and turning pictures, each held to a shop's size limit. Needs the
// current context that holds the shot's textures.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/shop_export.h"
#include "scene/scene_state.h"

namespace kestrova {

struct ShopFilesRequest {
  std::string glb, usdz, html;  // where each goes; empty for none
  ShopExportOptions model;
  uint64_t limitBytes = uint64_t{5} << 20;  // a shop page's
  int width = 0, height = 0;                // the page's poster, and the camera it opens with
  int turnPictures = 0;                     // pictures of one turn for the page (4 to 72); 0 for none
  std::string programFolder;                // where the page's viewer lies
  // What to say of a file past the limit: what the caller's user can change.
  std::function<std::string(const std::string& path, uint64_t bytes)> tooLarge;
};

// The model made once and every file asked for written. `wrote` gets a line
// for each ("PATH (N triangles, a W x H PNG texture)"). False with `error`
// at the first file that cannot be made or written; a file past the limit
// is not written.
bool WriteShopFiles(SceneState& scene, const ShopFilesRequest& request, std::vector<std::string>* wrote,
                    std::string* error);

// "5.1": bytes as megabytes, one decimal.
std::string Megabytes(uint64_t bytes);

}  // namespace kestrova
