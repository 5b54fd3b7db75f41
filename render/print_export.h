#pragma once
// The shot's product as a print template (formats/print_template.h): its
// layout at real size, with the shot's pictures on its panels. Needs the
// current context that holds the shot's textures.
#include <string>
#include <utility>
#include <vector>

#include "scene/print_layout.h"
#include "scene/scene_state.h"

namespace kestrova {

struct PrintTemplateRequest {
  std::string path;  // .pdf or .svg
  double bleed = 3, safe = 3;
  bool blank = false;  // the layout alone, no artwork
  // Height, width and depth in millimetres; 0 for the product's own size.
  float dimensions[3] = {0, 0, 0};
  double spine = 0;  // a book's spine from its pages, mm; 0 for its drawn depth
};

// The layout of the shot's product; false with `error` for a product that
// has none (a screen shot).
bool LayoutOfShot(SceneState& scene, const PrintTemplateRequest& request, PrintLayout* layout, std::string* error);

bool ExportPrintTemplate(SceneState& scene, const PrintTemplateRequest& request, std::string* error);

}  // namespace kestrova
