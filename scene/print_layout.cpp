#include "scene/print_layout.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

void fold(PrintLayout& layout, double x0, double y0, double x1, double y1) {
  layout.folds.push_back({{x0, y0}, {x1, y1}});
}

void panel(PrintLayout& layout, const char* name, double x, double y, double w, double h,
           LayoutPicture picture = LayoutPicture::None, bool turned = false) {
  layout.panels.push_back({name, x, y, w, h, picture, turned});
}

void rectangleCut(PrintLayout& layout) {
  layout.cuts.push_back({{0, 0}, {layout.width, 0}, {layout.width, layout.height}, {0, layout.height}});
}

// Everything moved so that the trim's bottom left is at (0, 0).
void normalise(PrintLayout& layout) {
  double lx = 1e300, ly = 1e300, hx = -1e300, hy = -1e300;
  for (const auto& cut : layout.cuts) {
    for (const LayoutPoint& p : cut) lx = std::min(lx, p.x), ly = std::min(ly, p.y), hx = std::max(hx, p.x), hy = std::max(hy, p.y);
  }
  for (auto& cut : layout.cuts) {
    for (LayoutPoint& p : cut) p.x -= lx, p.y -= ly;
  }
  for (auto& [a, b] : layout.folds) a.x -= lx, a.y -= ly, b.x -= lx, b.y -= ly;
  for (LayoutPanel& p : layout.panels) p.x -= lx, p.y -= ly;
  layout.width = hx - lx;
  layout.height = hy - ly;
}

}  // namespace

PrintLayout CartonLayout(const LayoutSize& box) {
  PrintLayout layout;
  layout.name = "Reverse tuck end carton";
  const double w = box.width, h = box.height, d = box.depth;
  // A glue flap of 15 mm, tuck flaps of 15 (both at most what the box
  // gives them), dust flaps reaching 0.6 of the depth, short of the
  // middle; their free corners cut back so they fold past each other.
  const double glue = std::min(15.0, w / 4), tuck = std::min(15.0, 0.8 * d), dust = std::min(0.6 * d, w / 2 - 2);
  const double slant = std::min(glue / 3, h / 10), chamfer = std::min(0.3 * tuck, 5.0), back = std::min(0.35 * d, dust);
  const double l = glue, f = glue + d, r = glue + d + w, b = glue + 2 * d + w, e = glue + 2 * d + 2 * w;
  layout.cuts.push_back({
      {l, 0},                                                       // the left side's foot
      {l + 1, -dust}, {f - back, -dust}, {f, 0},                    // its dust flap
      {f, -d}, {f + chamfer, -d - tuck}, {r - chamfer, -d - tuck}, {r, -d},  // the bottom and its tuck, on the front
      {r, 0}, {r + back, -dust}, {b - 1, -dust}, {b, 0},            // the right side's dust flap
      {e, 0}, {e, h},                                               // the back's foot and its free edge
      {e, h + d}, {e - chamfer, h + d + tuck}, {b + chamfer, h + d + tuck}, {b, h + d},  // the top and its tuck, on the back
      {b, h}, {b - 1, h + dust}, {r + back, h + dust}, {r, h},      // the right side's dust flap
      {f, h}, {f - back, h + dust}, {l + 1, h + dust}, {l, h},      // the left side's dust flap
      {0, h - slant}, {0, slant},                                   // the glue flap
  });
  for (const double x : {l, f, r, b}) fold(layout, x, 0, x, h);
  fold(layout, l, 0, f, 0), fold(layout, f, 0, r, 0), fold(layout, r, 0, b, 0);
  fold(layout, f, -d, r, -d);
  fold(layout, l, h, f, h), fold(layout, r, h, b, h), fold(layout, b, h, e, h);
  fold(layout, b, h + d, e, h + d);
  panel(layout, "glue flap", 0, 0, glue, h);
  panel(layout, "left side", l, 0, d, h, LayoutPicture::Spine);
  panel(layout, "front", f, 0, w, h, LayoutPicture::Front);
  panel(layout, "right side", r, 0, d, h, LayoutPicture::Right);
  panel(layout, "back", b, 0, w, h, LayoutPicture::Back);
  panel(layout, "bottom", f, -d, w, d, LayoutPicture::Bottom);
  panel(layout, "tuck flap", f, -d - tuck, w, tuck);
  panel(layout, "top", b, h, w, d, LayoutPicture::Top, true);
  panel(layout, "tuck flap", b, h + d, w, tuck);
  panel(layout, "dust flap", l, -dust, d, dust);
  panel(layout, "dust flap", r, -dust, d, dust);
  panel(layout, "dust flap", l, h, d, dust);
  panel(layout, "dust flap", r, h, d, dust);
  normalise(layout);
  return layout;
}

PrintLayout BookWrapLayout(const LayoutSize& book, bool hardBack) {
  PrintLayout layout;
  const double w = book.width, h = book.height, s = book.depth;
  if (!hardBack) {
    layout.name = "Book cover wrap";
    panel(layout, "back", 0, 0, w, h, LayoutPicture::Back);
    panel(layout, "spine", w, 0, s, h, LayoutPicture::Spine);
    panel(layout, "front", w + s, 0, w, h, LayoutPicture::Front);
    fold(layout, w, 0, w, h), fold(layout, w + s, 0, w + s, h);
    layout.width = 2 * w + s;
    layout.height = h;
    rectangleCut(layout);
    return layout;
  }
  // A case wrap: the boards' faces, 7 mm hinges beside the spine and 15 mm
  // turned in round the boards' edges.
  layout.name = "Case wrap";
  const double turnIn = 15, hinge = 7;
  const double x0 = turnIn, x1 = x0 + w, x2 = x1 + hinge, x3 = x2 + s, x4 = x3 + hinge, x5 = x4 + w;
  layout.width = x5 + turnIn;
  layout.height = h + 2 * turnIn;
  panel(layout, "turn-in", 0, 0, turnIn, layout.height);
  panel(layout, "back", x0, turnIn, w, h, LayoutPicture::Back);
  panel(layout, "hinge", x1, turnIn, hinge, h);
  panel(layout, "spine", x2, turnIn, s, h, LayoutPicture::Spine);
  panel(layout, "hinge", x3, turnIn, hinge, h);
  panel(layout, "front", x4, turnIn, w, h, LayoutPicture::Front);
  panel(layout, "turn-in", x5, 0, turnIn, layout.height);
  panel(layout, "turn-in", x0, 0, x5 - x0, turnIn);
  panel(layout, "turn-in", x0, turnIn + h, x5 - x0, turnIn);
  for (const double x : {x0, x1, x2, x3, x4, x5}) fold(layout, x, turnIn, x, turnIn + h);
  fold(layout, x0, turnIn, x5, turnIn), fold(layout, x0, turnIn + h, x5, turnIn + h);
  rectangleCut(layout);
  return layout;
}

PrintLayout DvdWrapLayout(const LayoutSize& keepCase) {
  // Amaray's wrap: 273 x 183 mm for a 135 x 190 x 14 case, a cover 129.5
  // wide either side of the spine.
  const double cover = keepCase.width * 129.5 / 135, height = keepCase.height * 183 / 190;
  PrintLayout layout = BookWrapLayout({cover, height, keepCase.depth}, false);
  layout.name = "DVD wrap";
  return layout;
}

PrintLayout CdLayout(const LayoutSize& jewelCase, bool slim) {
  PrintLayout layout;
  layout.name = slim ? "CD booklet and tray card" : "CD booklet and back card";
  // The booklet's 120 x 120 mm front; the back card's 138 x 118 with a
  // 6.5 mm strip either side, folded up the base's sides. 10 mm apart.
  const double sx = jewelCase.width / 142, sy = jewelCase.height / 125;
  const double booklet = 120 * sx, bookletHigh = 120 * sy, card = 138 * sx, cardHigh = 118 * sy;
  const double strip = slim ? 0 : 6.5 * sx, gap = 10;
  panel(layout, "front", 0, 0, booklet, bookletHigh, LayoutPicture::Front);
  layout.cuts.push_back({{0, 0}, {booklet, 0}, {booklet, bookletHigh}, {0, bookletHigh}});
  const double x = booklet + gap;
  if (strip > 0) panel(layout, "left spine", x, 0, strip, cardHigh, LayoutPicture::Spine);
  panel(layout, "back", x + strip, 0, card, cardHigh, LayoutPicture::Back);
  if (strip > 0) {
    panel(layout, "right spine", x + strip + card, 0, strip, cardHigh, LayoutPicture::Right);
    fold(layout, x + strip, 0, x + strip, cardHigh), fold(layout, x + strip + card, 0, x + strip + card, cardHigh);
  }
  const double end = x + 2 * strip + card;
  layout.cuts.push_back({{x, 0}, {end, 0}, {end, cardHigh}, {x, cardHigh}});
  layout.width = end;
  layout.height = std::max(bookletHigh, cardHigh);
  return layout;
}

PrintLayout CassetteLayout(const LayoutSize& cassetteCase) {
  PrintLayout layout;
  layout.name = "Cassette J-card";
  // Its front 63.5 x 101.6 mm (2.5 x 4 in), the spine 12.7 (0.5 in), the
  // flap behind the cassette 15.9 (5/8 in).
  const double sx = cassetteCase.width / 69, sy = cassetteCase.height / 110;
  const double front = 63.5 * sx, high = 101.6 * sy, spine = std::min(12.7 * cassetteCase.depth / 17, cassetteCase.depth - 1.2);
  const double flap = 15.9 * sx;
  panel(layout, "flap", 0, 0, flap, high);
  panel(layout, "spine", flap, 0, spine, high, LayoutPicture::Spine);
  panel(layout, "front", flap + spine, 0, front, high, LayoutPicture::Front);
  fold(layout, flap, 0, flap, high), fold(layout, flap + spine, 0, flap + spine, high);
  layout.width = flap + spine + front;
  layout.height = high;
  rectangleCut(layout);
  return layout;
}

PrintLayout MugLayout(double diameter, double printHeight) {
  PrintLayout layout;
  layout.name = "Mug wrap";
  layout.width = M_PI * diameter;
  layout.height = printHeight;
  panel(layout, "wrap", 0, 0, layout.width, printHeight, LayoutPicture::Wrap);
  rectangleCut(layout);
  return layout;
}

}  // namespace kestrova
