// Print layouts checked as a cutting table and a folder would: one closed
// cut line that never crosses itself, every fold running from cut to cut
// across the board, and the panels folding up to the box's own faces.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/print_layout.h"

using namespace kestrova;

namespace {

double distanceToSegment(const LayoutPoint& p, const LayoutPoint& a, const LayoutPoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
  const double t = length > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length, 0.0, 1.0) : 0;
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool onPath(const std::vector<LayoutPoint>& path, const LayoutPoint& p) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (distanceToSegment(p, path[i], path[(i + 1) % path.size()]) < 1e-6) return true;
  }
  return false;
}

bool inside(const std::vector<LayoutPoint>& path, const LayoutPoint& p) {
  bool in = false;
  for (size_t i = 0, j = path.size() - 1; i < path.size(); j = i++) {
    if ((path[i].y > p.y) != (path[j].y > p.y) &&
        p.x < (path[j].x - path[i].x) * (p.y - path[i].y) / (path[j].y - path[i].y) + path[i].x) {
      in = !in;
    }
  }
  return in;
}

// Two edges that share no corner cross or touch.
bool crosses(const LayoutPoint& a, const LayoutPoint& b, const LayoutPoint& c, const LayoutPoint& d) {
  auto side = [](const LayoutPoint& p, const LayoutPoint& q, const LayoutPoint& r) {
    return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
  };
  const double d1 = side(c, d, a), d2 = side(c, d, b), d3 = side(a, b, c), d4 = side(a, b, d);
  return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0)) && d1 != 0 && d2 != 0 && d3 != 0 && d4 != 0;
}

const LayoutPanel* named(const PrintLayout& layout, const std::string& name) {
  for (const LayoutPanel& p : layout.panels) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

}  // namespace

// The retail boxes (their drawn size at 260 mm high), a cube and a flat
// and a deep carton.
TEST(PrintLayout, ACartonIsOneClosedCutWhoseFoldedFacesAreTheBoxs) {
  const LayoutSize kBoxes[] = {{204.8, 260, 27.6}, {204.8, 260, 43.4}, {260, 260, 260}, {100, 150, 12}, {60, 200, 90}};
  for (const LayoutSize& box : kBoxes) {
    SCOPED_TRACE(std::to_string(box.width) + " x " + std::to_string(box.height) + " x " + std::to_string(box.depth));
    const PrintLayout layout = CartonLayout(box);
    ASSERT_EQ(layout.cuts.size(), 1u) << "one cut line";
    const std::vector<LayoutPoint>& cut = layout.cuts.front();
    ASSERT_GE(cut.size(), 4u);
    for (size_t i = 0; i < cut.size(); ++i) {
      for (size_t j = i + 2; j < cut.size(); ++j) {
        if (i == 0 && j == cut.size() - 1) continue;  // neighbours round the close
        EXPECT_FALSE(crosses(cut[i], cut[(i + 1) % cut.size()], cut[j], cut[(j + 1) % cut.size()])) << i << " and " << j;
      }
    }
    // Every fold runs from the cut line to the cut line, through the board.
    for (const auto& [from, to] : layout.folds) {
      EXPECT_TRUE(onPath(cut, from) && onPath(cut, to)) << "a fold ending off the cut at " << from.x << "," << from.y;
      EXPECT_TRUE(inside(cut, {(from.x + to.x) / 2, (from.y + to.y) / 2})) << "a fold outside the board";
    }
    // Folded, its faces are the box's.
    const struct {
      const char* name;
      double width, height;
    } kFaces[] = {{"front", box.width, box.height}, {"back", box.width, box.height}, {"left side", box.depth, box.height},
                  {"right side", box.depth, box.height}, {"top", box.width, box.depth}, {"bottom", box.width, box.depth}};
    for (const auto& face : kFaces) {
      const LayoutPanel* panel = named(layout, face.name);
      ASSERT_NE(panel, nullptr) << face.name;
      EXPECT_NEAR(panel->width, face.width, 1e-9) << face.name;
      EXPECT_NEAR(panel->height, face.height, 1e-9) << face.name;
      EXPECT_TRUE(inside(cut, {panel->x + panel->width / 2, panel->y + panel->height / 2})) << face.name;
    }
    // The top turns over from the back and the bottom from the front, the
    // way a reverse tuck end does.
    EXPECT_NEAR(named(layout, "top")->x, named(layout, "back")->x, 1e-9);
    EXPECT_NEAR(named(layout, "bottom")->x, named(layout, "front")->x, 1e-9);
    EXPECT_NEAR(named(layout, "top")->y, named(layout, "back")->y + box.height, 1e-9);
    EXPECT_NEAR(named(layout, "bottom")->y + box.depth, named(layout, "front")->y, 1e-9);
  }
}

// Published wraps: a DVD's is 273 x 183 mm for Amaray's 135 x 190 x 14
// case; a paperback's is back, spine and front side by side, a hard back's
// case wrap 15 mm larger all round with 7 mm hinges.
TEST(PrintLayout, WrapsAreTheSizesPrintersAskFor) {
  const PrintLayout dvd = DvdWrapLayout({135, 190, 14});
  EXPECT_NEAR(dvd.width, 273, 1e-9);
  EXPECT_NEAR(dvd.height, 183, 1e-9);
  const PrintLayout paperback = BookWrapLayout({110, 180, 15.52}, false);
  EXPECT_NEAR(paperback.width, 2 * 110 + 15.52, 1e-9);
  EXPECT_NEAR(named(paperback, "spine")->width, 15.52, 1e-9);
  const PrintLayout hardBack = BookWrapLayout({140, 225, 21}, true);
  EXPECT_NEAR(hardBack.width, 2 * 15 + 2 * 140 + 2 * 7 + 21, 1e-9);
  EXPECT_NEAR(hardBack.height, 225 + 2 * 15, 1e-9);
  const PrintLayout cd = CdLayout({142, 125, 10}, false);
  EXPECT_NEAR(named(cd, "front")->width, 120, 1e-9);
  EXPECT_NEAR(named(cd, "back")->width + named(cd, "left spine")->width + named(cd, "right spine")->width, 151, 1e-9);
  const PrintLayout tape = CassetteLayout({69, 110, 17});
  EXPECT_NEAR(named(tape, "front")->width, 63.5, 1e-9);
  EXPECT_NEAR(named(tape, "front")->height, 101.6, 1e-9);
  EXPECT_NEAR(named(tape, "spine")->width, 12.7, 1e-9);
}

// Hand-made expectations of the parts the round trips cannot see: a
// carton's top is laid upside down (it is read from the front once folded
// over from the back), nothing else is; each tuck flap narrows away from
// its panel (chamfered inwards, or it would not slide in); a J-card's flap
// follows the case's width, never its height.
TEST(PrintLayout, TurnsTucksAndFlapsAreWhereTheFoldedBoxNeedsThem) {
  const PrintLayout carton = CartonLayout({204.8, 260, 27.6});
  for (const LayoutPanel& panel : carton.panels) EXPECT_EQ(panel.turned, panel.name == "top") << panel.name;
  const LayoutPanel& top = *named(carton, "top");
  const LayoutPanel& bottom = *named(carton, "bottom");
  // The cut beyond the top's far edge and below the bottom's near edge:
  // within the panel's width, its outermost points strictly inside it.
  for (const auto& [panel, above] : {std::pair{&top, true}, std::pair{&bottom, false}}) {
    SCOPED_TRACE(panel->name);
    const double edge = above ? panel->y + panel->height : panel->y;
    double far = edge;
    for (const LayoutPoint& p : carton.cuts.front()) far = above ? std::max(far, p.y) : std::min(far, p.y);
    ASSERT_GT(std::fabs(far - edge), 5) << "a tuck flap";
    for (const LayoutPoint& p : carton.cuts.front()) {
      if (above ? p.y <= edge + 1e-9 : p.y >= edge - 1e-9) continue;
      EXPECT_GE(p.x, panel->x - 1e-9);
      EXPECT_LE(p.x, panel->x + panel->width + 1e-9);
      if (std::fabs(p.y - far) < 1e-9) {
        EXPECT_GT(p.x, panel->x + 1) << "chamfered inwards";
        EXPECT_LT(p.x, panel->x + panel->width - 1) << "chamfered inwards";
      }
    }
  }
  // 5/8 inch for the standard 69 mm case; twice as wide, twice the flap;
  // twice as tall, the same flap.
  EXPECT_NEAR(named(CassetteLayout({69, 110, 17}), "flap")->width, 15.9, 1e-9);
  EXPECT_NEAR(named(CassetteLayout({138, 110, 17}), "flap")->width, 31.8, 1e-9);
  EXPECT_NEAR(named(CassetteLayout({69, 220, 17}), "flap")->width, 15.9, 1e-9);
}
