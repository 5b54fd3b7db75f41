#pragma once
// A print template written as PDF or SVG: the layout at real size, its
// artwork on the panels with bleed, the cut and fold lines on layers of
// their own in spot colours a cutting table reads ("CutContour",
// "Crease", set to overprint), and each panel named with its size on a
// layer that does not print.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scene/print_layout.h"
#include "scene/rgba_image.h"

namespace kestrova {

struct TemplateOptions {
  double bleed = 3;  // mm beyond the trim the artwork reaches
  double safe = 3;   // mm inside the trim the safe line runs
};

// Pictures (rows from the top) for the panels; a layout's panels whose
// picture is missing are left blank.
using TemplateArtwork = std::map<LayoutPicture, RgbaImage>;

std::vector<uint8_t> WriteTemplatePdf(const PrintLayout& layout, const TemplateArtwork& artwork,
                                      const TemplateOptions& options);
std::string WriteTemplateSvg(const PrintLayout& layout, const TemplateArtwork& artwork, const TemplateOptions& options);

// Where a panel's picture lies: exactly on the panel, and stretched on past
// each free edge (over the flaps it carries and into the bleed), in mm.
struct ArtworkPlacement {
  const LayoutPanel* panel = nullptr;
  double reach[4] = {0, 0, 0, 0};  // beyond its left, bottom, right and top edges
};
std::vector<ArtworkPlacement> PlaceArtwork(const PrintLayout& layout, double bleed);

}  // namespace kestrova
