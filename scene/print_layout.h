#pragma once
// A product's print template: its flat layout at real size, as a printer
// cuts and folds it. Millimetres, x to the right, y up, the trim's bottom
// left at (0, 0); seen from the printed side.
#include <string>
#include <vector>

namespace kestrova {

struct LayoutPoint {
  double x = 0, y = 0;
};

// Which of the shot's pictures a panel shows.
enum class LayoutPicture { None, Front, Back, Spine, Right, Top, Bottom, Wrap };

struct LayoutPanel {
  std::string name;  // "front", "spine", "tuck flap", ...
  double x = 0, y = 0, width = 0, height = 0;
  LayoutPicture picture = LayoutPicture::None;
  bool turned = false;  // its picture upside down (a carton's top, read from the front)
};

struct PrintLayout {
  std::string name;    // "Reverse tuck end carton", "Book cover wrap", ...
  double width = 0, height = 0;  // the trim's bounds
  std::vector<std::vector<LayoutPoint>> cuts;  // closed paths
  std::vector<std::pair<LayoutPoint, LayoutPoint>> folds;
  std::vector<LayoutPanel> panels;
};

// A box's width, height and depth (front, side) in millimetres.
struct LayoutSize {
  double width = 0, height = 0, depth = 0;
};

// A reverse tuck end carton: glue flap, left side, front, right side, back
// in a row; the top and its tuck flap on the back, the bottom and its tuck
// on the front; dust flaps on the sides.
PrintLayout CartonLayout(const LayoutSize& box);

// A book's cover wrap: back | spine | front. A hard back's case wrap adds
// the hinges beside the spine and the turn-ins round the boards.
PrintLayout BookWrapLayout(const LayoutSize& book, bool hardBack);

// A DVD keep case's wrap: back | spine | front, under its sleeve.
PrintLayout DvdWrapLayout(const LayoutSize& keepCase);

// A CD's booklet (front) and its back card with the two spine strips, side
// by side.
PrintLayout CdLayout(const LayoutSize& jewelCase, bool slim);

// A cassette's inlay card (J-card): front | spine | flap.
PrintLayout CassetteLayout(const LayoutSize& cassetteCase);

// A mug's wrap: round the body, its print's height.
PrintLayout MugLayout(double diameter, double printHeight);

}  // namespace kestrova
