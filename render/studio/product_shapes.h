#pragma once
// The real shapes the studio look and the models give what the classic
// frame draws as printed slabs: a DVD's keep case, a CD's jewel case, a
// cassette's case, a retail box with rounded edges, and the devices a
// screen shot is shown in. Generated here, in millimetres, and textured
// from the pictures the captured slab carries on each of its sides.
#include <optional>
#include <string>

#include "render/studio/studio_mesh.h"

namespace kestrova::studio {

enum class Shape {
  Captured,  // as the classic frame builds it (books, the mug, the board)
  RoundedBox,
  KeepCase,
  SlimKeepCase,
  JewelCase,
  SlimJewelCase,
  CassetteCase,
  Phone,
  Tablet,
  Laptop,
  Monitor,
  Browser,
};

// Width, height and depth in millimetres, as the thing stands in front of
// the camera (a laptop open, a monitor on its foot).
struct ShapeMeasures {
  double width = 0, height = 0, depth = 0;
};

// The shape the shot's product takes in the studio look and the models.
Shape ShapeOf(const SceneState& scene);

// Its real measures, for those that have published ones (cases and
// devices); nullopt for the rest. A device turns sideways for a landscape
// picture (`landscape`).
std::optional<ShapeMeasures> RealMeasures(Shape shape, bool landscape = false);

// The picture a browser window's tab shows (Surface::Title), in pixels:
// the tab is 240 x 34 of the window's 1280, drawn twice as fine.
constexpr int kTabWidth = 480, kTabHeight = 68;

// The names --device takes, in order, and the shape of each ("board": the
// captured board).
bool DeviceShape(const std::string& name, Shape* shape);
const char* DeviceNames();  // "phone, tablet, laptop, monitor, browser or board"

// The pictures on the sides of a captured slab (a box, a board), and how
// each lies on its side.
struct SidePictures {
  struct Side {
    bool found = false;
    uint32_t texture = 0;
    // Texture coordinates at (a, b) across the side seen from outside (a to
    // the right, b up, both 0 to 1): origin + a * across + b * up.
    double origin[2] = {0, 0}, across[2] = {1, 0}, up[2] = {0, 1};
  };
  Side sides[6];  // front, back, left, right, top, bottom
  V3 min{0, 0, 0}, max{0, 0, 0};
};
SidePictures PicturesOf(const StudioMesh& captured);

struct ShapeOptions {
  ShapeMeasures size;          // millimetres
  double unitsPerMm = 1;       // the mesh's units
  V3 centre{0, 0, 0};          // where the shape's middle goes, in the mesh's units
  double radius = 1;           // a rounded box's edges, millimetres
  double pictureAspect = 1;    // a screen shot's width over height
  bool cover = false;          // fill the screen, cropped
  bool spineOnRight = false;   // the box's left picture lies at +x
};

// The shape, textured from `pictures`.
StudioMesh BuildShape(Shape shape, const SidePictures& pictures, const ShapeOptions& options);

}  // namespace kestrova::studio
