#pragma once
// A one-piece cover read in: cut along the shot's print template into a
// picture for each face it covers. Needs the current context that holds the
// shot's textures.
#include <string>
#include <utility>
#include <vector>

#include "render/print_export.h"
#include "scene/scene_state.h"

namespace kestrova {

// A one-piece cover (a picture or a PDF) laid out on the shot's template,
// bleed and all, cut into a picture for each face it covers, written as PNG
// files into `folder`: the face slots and their files. A picture whose
// proportions are not the template's within 1 % is refused, saying the
// size it should have.
bool CutWrap(SceneState& scene, const PrintTemplateRequest& request, const std::string& picture, const std::string& folder,
             std::vector<std::pair<TextureSlot, std::string>>* faces, std::string* error);

}  // namespace kestrova
