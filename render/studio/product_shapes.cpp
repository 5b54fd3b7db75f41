#include "render/studio/product_shapes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "scene/product_styles.h"

namespace kestrova::studio {

namespace {

// Colours of the parts no picture covers, sRGB.
constexpr uint32_t kCaseBlack = 0x1A1A1C;    // a keep case's and a tray's moulding
constexpr uint32_t kCassette = 0x2C2C30;
constexpr uint32_t kBlackGlass = 0x0B0B0C;   // a device's bezel
constexpr uint32_t kGraphite = 0x3B3D42;     // a phone's and a tablet's frame
constexpr uint32_t kAluminium = 0xC9CBCE;    // a laptop's and a monitor's shell
constexpr uint32_t kTrackpad = 0xBDBFC2;
constexpr uint32_t kKey = 0x1C1C1E;
constexpr uint32_t kChrome = 0xDEE1E6;       // a browser's tab strip
constexpr uint32_t kAddressField = 0xF1F3F4;
constexpr uint32_t kWhite = 0xFFFFFF;

struct Vtx {
  V3 p;
  V3 n;
  double u = 0, v = 0;
};

// The sides of a box seen from outside: the normal, then the directions
// to the right and up.
constexpr int kFront = 0, kBack = 1, kLeft = 2, kRight = 3, kTop = 4, kBottom = 5;
const V3 kNormal[6] = {{0, 0, 1}, {0, 0, -1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
const V3 kAcross[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {1, 0, 0}};
const V3 kUp[6] = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};

double along(const V3& half, const V3& axis) {
  return std::fabs(axis[0]) * half[0] + std::fabs(axis[1]) * half[1] + std::fabs(axis[2]) * half[2];
}

struct Paint {
  uint32_t texture = 0;
  Surface surface = Surface::Finish;
  uint32_t colour = kWhite;
  bool operator==(const Paint& o) const {
    return texture == o.texture && surface == o.surface && colour == o.colour;
  }
};

Paint plastic(uint32_t colour) { return {0, Surface::Plastic, colour}; }
const Paint kClear{0, Surface::Clear, kWhite};
const Paint kGlass{0, Surface::Glass, kWhite};

class Builder {
 public:
  void use(const Paint& paint) { paint_ = paint; }
  void transform(const Mat4& m) { transform_ = m; }

  // Wound counter-clockwise seen from the side its normals face.
  void triangle(Vtx a, Vtx b, Vtx c) {
    for (Vtx* v : {&a, &b, &c}) {
      v->p = transform_.point(v->p);
      v->n = Normalized(transform_.direction(v->n));
    }
    const V3 wound = Cross(b.p - a.p, c.p - a.p);
    if (!(Length(wound) > 1e-12)) return;
    if (Dot(wound, a.n + b.n + c.n) < 0) std::swap(b, c);
    auto found = std::find_if(groups_.begin(), groups_.end(), [&](const auto& g) { return g.first == paint_; });
    if (found == groups_.end()) found = groups_.insert(groups_.end(), {paint_, {}});
    found->second.insert(found->second.end(), {a, b, c});
  }
  void quad(const Vtx& a, const Vtx& b, const Vtx& c, const Vtx& d) {
    triangle(a, b, c);
    triangle(a, c, d);
  }

  // Millimetres to the mesh's units, its box's middle at `centre`; the clear
  // parts last.
  StudioMesh finish(double unitsPerMm, const V3& centre) {
    StudioMesh mesh;
    V3 low{1e300, 1e300, 1e300}, high{-1e300, -1e300, -1e300};
    for (const auto& [paint, vertices] : groups_) {
      for (const Vtx& v : vertices) {
        for (size_t c = 0; c < 3; ++c) low[c] = std::min(low[c], v.p[c]), high[c] = std::max(high[c], v.p[c]);
      }
    }
    const V3 middle = (low + high) * 0.5;
    std::stable_partition(groups_.begin(), groups_.end(), [](const auto& g) { return !SeeThrough(g.first.surface); });
    for (const auto& [paint, vertices] : groups_) {
      MeshBatch batch{paint.texture, static_cast<int>(mesh.vertices.size()), static_cast<int>(vertices.size()),
                      paint.surface, paint.colour};
      mesh.batches.push_back(batch);
      for (const Vtx& v : vertices) {
        MeshVertex out{};
        for (size_t c = 0; c < 3; ++c) {
          out.position[c] = static_cast<float>((v.p[c] - middle[c]) * unitsPerMm + centre[c]);
          out.normal[c] = static_cast<float>(v.n[c]);
        }
        out.uv[0] = static_cast<float>(v.u);
        out.uv[1] = static_cast<float>(v.v);
        mesh.vertices.push_back(out);
      }
    }
    for (size_t c = 0; c < 3; ++c) {
      mesh.min[c] = (low[c] - middle[c]) * unitsPerMm + centre[c];
      mesh.max[c] = (high[c] - middle[c]) * unitsPerMm + centre[c];
    }
    mesh.generated = true;
    return mesh;
  }

 private:
  Paint paint_;
  Mat4 transform_;
  std::vector<std::pair<Paint, std::vector<Vtx>>> groups_;
};

using Picture = SidePictures::Side;

void uvAt(const Picture* picture, double a, double b, Vtx* v) {
  if (!picture) return;
  v->u = picture->origin[0] + a * picture->across[0] + b * picture->up[0];
  v->v = picture->origin[1] + a * picture->across[1] + b * picture->up[1];
}

// A rectangle on side `side`'s plane, `out` millimetres from the middle,
// from (s0, t0) to (s1, t1) along the side's right and up, showing the part
// (a0, b0)-(a1, b1) of `picture`.
void panel(Builder& b, int side, double out, double s0, double t0, double s1, double t1, const Picture* picture,
           double a0 = 0, double b0 = 0, double a1 = 1, double b1 = 1) {
  Vtx c[4];
  const double s[4] = {s0, s1, s1, s0}, t[4] = {t0, t0, t1, t1};
  const double a[4] = {a0, a1, a1, a0}, bb[4] = {b0, b0, b1, b1};
  for (int i = 0; i < 4; ++i) {
    c[i].p = kNormal[side] * out + kAcross[side] * s[i] + kUp[side] * t[i];
    c[i].n = kNormal[side];
    uvAt(picture, a[i], bb[i], &c[i]);
  }
  b.quad(c[0], c[1], c[2], c[3]);
}

struct Point2 {
  double x, y;   // on the outline
  double nx, ny;  // its outward normal
};

// A rectangle of half sizes hx, hy with corners rounded by r, counter-
// clockwise from the right edge's foot.
std::vector<Point2> roundedRect(double hx, double hy, double r, double cx = 0, double cy = 0) {
  r = std::clamp(r, 0.0, std::min(hx, hy));
  const int steps = r > 0 ? 8 : 0;
  const double corners[4][2] = {{hx - r, -hy + r}, {hx - r, hy - r}, {-hx + r, hy - r}, {-hx + r, -hy + r}};
  std::vector<Point2> points;
  for (int k = 0; k < 4; ++k) {
    const double start = (k * 90.0 - 90.0) * M_PI / 180;
    for (int i = 0; i <= steps; ++i) {
      const double angle = start + (steps ? i * (M_PI / 2) / steps : M_PI / 4);
      const double nx = std::cos(angle), ny = std::sin(angle);
      points.push_back({cx + corners[k][0] + r * nx, cy + corners[k][1] + r * ny, nx, ny});
    }
  }
  return points;
}

// The outline as a flat piece facing `normal` (+z or -z) at depth z, its
// picture's part spread over the outline's bounds.
void cap(Builder& b, const std::vector<Point2>& outline, double z, bool front, const Picture* picture,
         double a0 = 0, double b0 = 0, double a1 = 1, double b1 = 1) {
  double lx = 1e300, hx = -1e300, ly = 1e300, hy = -1e300;
  for (const Point2& p : outline) lx = std::min(lx, p.x), hx = std::max(hx, p.x), ly = std::min(ly, p.y), hy = std::max(hy, p.y);
  auto vertex = [&](double x, double y) {
    Vtx v{{x, y, z}, {0, 0, front ? 1.0 : -1.0}};
    // Seen from behind, its right is -x.
    const double a = (front ? x - lx : hx - x) / std::max(1e-9, hx - lx), bb = (y - ly) / std::max(1e-9, hy - ly);
    uvAt(picture, a0 + a * (a1 - a0), b0 + bb * (b1 - b0), &v);
    return v;
  };
  const Vtx middle = vertex((lx + hx) / 2, (ly + hy) / 2);
  for (size_t i = 0; i < outline.size(); ++i) {
    const Point2& p = outline[i];
    const Point2& q = outline[(i + 1) % outline.size()];
    b.triangle(middle, vertex(p.x, p.y), vertex(q.x, q.y));
  }
}

// The outline's walls from z0 to z1: smooth round its corners, sharp where
// it has none.
void walls(Builder& b, const std::vector<Point2>& outline, double z0, double z1) {
  for (size_t i = 0; i < outline.size(); ++i) {
    const Point2& p = outline[i];
    const Point2& q = outline[(i + 1) % outline.size()];
    const V3 edge = Normalized(V3{q.y - p.y, -(q.x - p.x), 0});
    auto normal = [&](const Point2& o) {
      const V3 own{o.nx, o.ny, 0};
      return Dot(own, edge) > 0.75 ? own : edge;
    };
    b.quad({{p.x, p.y, z0}, normal(p)}, {{q.x, q.y, z0}, normal(q)}, {{q.x, q.y, z1}, normal(q)},
           {{p.x, p.y, z1}, normal(p)});
  }
}

// A profile in the x-z plane swept along y from y0 to y1, its normals
// smooth (each point's own).
void sweep(Builder& b, const std::vector<Point2>& profile, double y0, double y1) {
  for (size_t i = 0; i + 1 < profile.size(); ++i) {
    const Point2& p = profile[i];
    const Point2& q = profile[i + 1];
    const V3 np{p.nx, 0, p.ny}, nq{q.nx, 0, q.ny};
    b.quad({{p.x, y0, p.y}, np}, {{q.x, y0, q.y}, nq}, {{q.x, y1, q.y}, nq}, {{p.x, y1, p.y}, np});
  }
}

void arc(std::vector<Point2>* profile, double cx, double cy, double r, double from, double to) {
  const int steps = 6;
  for (int i = 0; i <= steps; ++i) {
    const double a = (from + (to - from) * i / steps) * M_PI / 180;
    profile->push_back({cx + r * std::cos(a), cy + r * std::sin(a), std::cos(a), std::sin(a)});
  }
}

const Picture* pictureOf(const SidePictures& pictures, int side) {
  return pictures.sides[side].found ? &pictures.sides[side] : nullptr;
}
Paint print(const SidePictures& pictures, int side) {
  return {pictures.sides[side].found ? pictures.sides[side].texture : 0, Surface::Finish, kWhite};
}

// A card box with its edges rounded by r: a box's faces pushed out onto the
// rounded surface, each side's picture over its flat part and the half of
// each bend that belongs to it.
void roundedBox(Builder& b, const SidePictures& pictures, const V3& half, double r) {
  r = std::clamp(r, 0.0, 0.49 * std::min({half[0], half[1], half[2]}));
  auto stops = [r](double h) {
    std::vector<double> at;
    const int bend = r > 0 ? 4 : 0;
    for (int i = 0; i <= bend; ++i) at.push_back(-h + r * i / std::max(1, bend));
    for (int i = 0; i <= bend; ++i) at.push_back(h - r + r * i / std::max(1, bend));
    at.erase(std::unique(at.begin(), at.end(), [](double x, double y) { return std::fabs(x - y) < 1e-12; }), at.end());
    return at;
  };
  const V3 inner{half[0] - r, half[1] - r, half[2] - r};
  for (int side = 0; side < 6; ++side) {
    b.use(print(pictures, side));
    const double hs = along(half, kAcross[side]), ht = along(half, kUp[side]), hn = along(half, kNormal[side]);
    const std::vector<double> ss = stops(hs), ts = stops(ht);
    auto vertex = [&](double s, double t) {
      const V3 p = kNormal[side] * hn + kAcross[side] * s + kUp[side] * t;
      V3 in;
      for (size_t c = 0; c < 3; ++c) in[c] = std::clamp(p[c], -inner[c], inner[c]);
      const V3 n = r > 0 ? Normalized(p - in) : kNormal[side];
      Vtx v{r > 0 ? in + n * r : p, n};
      uvAt(pictureOf(pictures, side), (s + hs) / (2 * hs), (t + ht) / (2 * ht), &v);
      return v;
    };
    for (size_t i = 0; i + 1 < ss.size(); ++i) {
      for (size_t j = 0; j + 1 < ts.size(); ++j) {
        b.quad(vertex(ss[i], ts[j]), vertex(ss[i + 1], ts[j]), vertex(ss[i + 1], ts[j + 1]), vertex(ss[i], ts[j + 1]));
      }
    }
  }
}

// A DVD's keep case: a moulded black body with rounded corners, the printed
// wrap round its front, spine and back, and the clear sleeve over the wrap
// that turns round the spine. Proportions of Amaray's case: 135 x 190 x 14
// mm, a wrap of 273 x 183 mm (129.5 mm a cover and the spine between).
void keepCase(Builder& b, const SidePictures& pictures, const ShapeMeasures& size) {
  const double w = size.width, h = size.height, d = size.depth;
  const double gap = std::min(0.6, d * 0.05);  // the sleeve's film over the wrap
  const double coverWidth = w * 129.5 / 135, coverHeight = h * 183 / 190;
  b.use(plastic(kCaseBlack));
  // The body reaches the case's top, foot and opening side; the sleeve its
  // spine.
  const double corner = std::min(4.0, w / 8);
  const std::vector<Point2> outline = roundedRect((w - gap) / 2, h / 2, corner, gap / 2, 0);
  cap(b, outline, d / 2 - gap, true, nullptr);
  cap(b, outline, -d / 2 + gap, false, nullptr);
  walls(b, outline, -d / 2 + gap, d / 2 - gap);
  // The wrap, a little off the body and under the sleeve: far enough from
  // both for a depth buffer to tell them apart at any distance.
  const double lift = d / 2 - gap + gap / 2;
  const double spine = -w / 2 + gap;  // the wrap's fold at the spine
  b.use(print(pictures, kFront));
  panel(b, kFront, lift, spine, -coverHeight / 2, spine + coverWidth, coverHeight / 2, pictureOf(pictures, kFront));
  b.use(print(pictures, kBack));
  panel(b, kBack, lift, -spine - coverWidth, -coverHeight / 2, -spine, coverHeight / 2, pictureOf(pictures, kBack));
  b.use(print(pictures, kLeft));
  panel(b, kLeft, w / 2 - gap / 2, -(d / 2 - gap), -coverHeight / 2, d / 2 - gap, coverHeight / 2,
        pictureOf(pictures, kLeft));
  // The sleeve: flat over the covers, round over the spine's two edges.
  const double round = std::min(2.5, d / 3);
  std::vector<Point2> profile;
  profile.push_back({w / 2 - 1.5, d / 2, 0, 1});
  arc(&profile, -w / 2 + round, d / 2 - round, round, 90, 180);
  arc(&profile, -w / 2 + round, -d / 2 + round, round, 180, 270);
  profile.push_back({w / 2 - 1.5, -d / 2, 0, -1});
  // As high as the body's straight spine: no square corner of film past
  // its rounded ones.
  b.use(kClear);
  sweep(b, profile, -h / 2 + corner, h / 2 - corner);
}

// A CD's jewel case: the clear base holding the back card (its two spine
// strips up the base's sides) behind the black tray, and the clear lid over
// the booklet, held by two tabs, turning on its hinge at the left. The
// standard case is 142 x 125 x 10 mm, its booklet 120 x 120 mm, its back
// card 138 x 118 mm with 6.5 mm strips; a slim case is a clear lid on a
// black tray, no strips.
void jewelCase(Builder& b, const SidePictures& pictures, const ShapeMeasures& size, bool slim) {
  const double w = size.width, h = size.height, d = size.depth;
  const double base = slim ? d * 0.5 : d * 0.65;  // the base's depth; the lid the rest
  const double back = -d / 2, seam = back + base, front = d / 2;
  const double bookletWidth = 120 * w / 142, bookletHeight = 120 * h / 125;
  const double cardWidth = 138 * w / 142, cardHeight = 118 * h / 125;
  // The tray, black, inside the base.
  b.use(plastic(kCaseBlack));
  const std::vector<Point2> tray = roundedRect(w / 2 - 0.8, h / 2 - 0.8, 0.8);
  const double trayBack = back + (slim ? 0.5 : 1.2), trayFront = seam - 0.2;
  cap(b, tray, trayFront, true, nullptr);
  cap(b, tray, trayBack, false, nullptr);
  walls(b, tray, trayBack, trayFront);
  // The back card behind it, seen through the base's back and sides.
  b.use(print(pictures, kBack));
  panel(b, kBack, d / 2 - 0.4, -cardWidth / 2, -cardHeight / 2, cardWidth / 2, cardHeight / 2, pictureOf(pictures, kBack));
  if (!slim) {
    b.use(print(pictures, kLeft));
    panel(b, kLeft, w / 2 - 0.4, back + 0.4, -cardHeight / 2, trayFront, cardHeight / 2, pictureOf(pictures, kLeft));
    b.use(print(pictures, kRight));
    panel(b, kRight, w / 2 - 0.4, -trayFront, -cardHeight / 2, -(back + 0.4), cardHeight / 2, pictureOf(pictures, kRight));
  }
  // The booklet under the lid, against its opening side.
  const double bookletRight = w / 2 - 3 * w / 142;
  b.use(print(pictures, kFront));
  panel(b, kFront, front - 0.8, bookletRight - bookletWidth, -bookletHeight / 2, bookletRight, bookletHeight / 2,
        pictureOf(pictures, kFront));
  b.use(kClear);
  // The base: its back and four sides.
  panel(b, kBack, d / 2, -w / 2, -h / 2, w / 2, h / 2, nullptr);
  panel(b, kLeft, w / 2, back, -h / 2, seam, h / 2, nullptr);
  panel(b, kRight, w / 2, -seam, -h / 2, -back, h / 2, nullptr);
  panel(b, kTop, h / 2, -w / 2, -seam, w / 2, -back, nullptr);
  panel(b, kBottom, h / 2, -w / 2, back, w / 2, seam, nullptr);
  // The lid: its front, its rims, and the hinge rounding into its left side.
  const double hinge = std::min(3.5, (front - seam) * 0.9);
  std::vector<Point2> profile;
  profile.push_back({w / 2, seam, 1, 0});
  profile.push_back({w / 2, front, 1, 0});
  profile.push_back({w / 2, front, 0, 1});
  arc(&profile, -w / 2 + hinge, front - hinge, hinge, 90, 180);
  profile.push_back({-w / 2, seam, -1, 0});
  sweep(b, profile, -h / 2, h / 2);
  panel(b, kTop, h / 2, -w / 2 + hinge, -front, w / 2, -seam, nullptr);
  panel(b, kBottom, h / 2, -w / 2 + hinge, seam, w / 2, front, nullptr);
  // The two tabs that hold the booklet.
  for (const double y : {-0.3 * h, 0.3 * h}) {
    panel(b, kFront, front - 0.5, bookletRight - 4, y - 6, bookletRight + 1.5, y + 6, nullptr);
  }
}

// A compact cassette's case standing on its end: clear all round, the
// inlay card's front under its front and the card folded round its spine,
// the cassette inside. The case is about 110 x 69 x 17 mm, the card's
// front 101.6 x 63.5 mm (4 x 2.5 in) and its spine 12.7 mm (0.5 in).
void cassetteCase(Builder& b, const SidePictures& pictures, const ShapeMeasures& size) {
  const double w = size.width, h = size.height, d = size.depth;
  const double cardWidth = 63.5 * w / 69, cardHeight = 101.6 * h / 110, spine = std::min(12.7 * d / 17, d - 1.2);
  b.use(print(pictures, kFront));
  panel(b, kFront, d / 2 - 0.6, -w / 2 + 0.6, -cardHeight / 2, -w / 2 + 0.6 + cardWidth, cardHeight / 2,
        pictureOf(pictures, kFront));
  b.use(print(pictures, kLeft));
  panel(b, kLeft, w / 2 - 0.6, d / 2 - 0.6 - spine, -cardHeight / 2, d / 2 - 0.6, cardHeight / 2, pictureOf(pictures, kLeft));
  // The cassette, 63.8 x 100.4 x 12 mm, its label to the back.
  const double cw = 63.8 * w / 69, ch = 100.4 * h / 110, cd = std::min(12.0 * d / 17, d - 2.5);
  const double cz = -d / 2 + 0.8;
  b.use(plastic(kCassette));
  const std::vector<Point2> shell = roundedRect(cw / 2, ch / 2, 2.0);
  cap(b, shell, cz + cd, true, nullptr);
  cap(b, shell, cz, false, nullptr);
  walls(b, shell, cz, cz + cd);
  b.use(print(pictures, kBack));
  panel(b, kBack, -cz + 0.1, -cw / 2 + 4, -ch / 2 + 6, cw / 2 - 4, ch / 2 - 6, pictureOf(pictures, kBack));
  b.use(kClear);
  for (int side = 0; side < 6; ++side) {
    const V3 half{w / 2, h / 2, d / 2};
    const double hs = along(half, kAcross[side]), ht = along(half, kUp[side]);
    panel(b, side, along(half, kNormal[side]), -hs, -ht, hs, ht, nullptr);
  }
}

// The screen's picture: fitted whole (black bars beside it) or filling it
// (cropped), never squeezed; on the screen's rounded outline.
// `lift`: how far above its glass the picture lies, so the two never fight
// for a pixel.
void screen(Builder& b, const SidePictures& pictures, double sw, double sh, double radius, double z,
            const ShapeOptions& options, double lift) {
  const std::vector<Point2> outline = roundedRect(sw / 2, sh / 2, radius);
  b.use({0, Surface::Screen, 0x000000});
  cap(b, outline, z, true, nullptr);
  const double screenAspect = sw / sh, aspect = std::max(1e-3, options.pictureAspect);
  double pw = sw, ph = sh;                     // the picture's drawn size
  double a0 = 0, a1 = 1, b0 = 0, b1 = 1;       // the part of it shown
  if (!options.cover) {
    if (aspect > screenAspect) ph = sw / aspect;
    else pw = sh * aspect;
  } else if (aspect > screenAspect) {
    const double shown = screenAspect / aspect;
    a0 = (1 - shown) / 2, a1 = 1 - a0;
  } else {
    const double shown = aspect / screenAspect;
    b0 = (1 - shown) / 2, b1 = 1 - b0;
  }
  std::vector<Point2> clipped;
  for (const Point2& p : outline) {
    clipped.push_back({std::clamp(p.x, -pw / 2, pw / 2), std::clamp(p.y, -ph / 2, ph / 2), p.nx, p.ny});
  }
  b.use({pictures.sides[kFront].found ? pictures.sides[kFront].texture : 0, Surface::Screen, kWhite});
  // The outline clipped to the picture: its texture coordinates from where
  // each point lies in the picture.
  Vtx middle{{0, 0, z + lift}, {0, 0, 1}};
  uvAt(pictureOf(pictures, kFront), (a0 + a1) / 2, (b0 + b1) / 2, &middle);
  for (size_t i = 0; i < clipped.size(); ++i) {
    const Point2& p = clipped[i];
    const Point2& q = clipped[(i + 1) % clipped.size()];
    Vtx vp{{p.x, p.y, z + lift}, {0, 0, 1}}, vq{{q.x, q.y, z + lift}, {0, 0, 1}};
    uvAt(pictureOf(pictures, kFront), a0 + (p.x / pw + 0.5) * (a1 - a0), b0 + (p.y / ph + 0.5) * (b1 - b0), &vp);
    uvAt(pictureOf(pictures, kFront), a0 + (q.x / pw + 0.5) * (a1 - a0), b0 + (q.y / ph + 0.5) * (b1 - b0), &vq);
    b.triangle(middle, vp, vq);
  }
}

struct Handheld {
  double width, height, depth;    // portrait, millimetres
  double corner;                  // the body's corner radius
  double screenWidth, screenHeight, screenCorner;
  bool island;                    // a camera in a pill on the screen; else a dot in the bezel
};

// A phone or a tablet: a rounded slab, black glass in front, the screen,
// its camera, and the glass's reflection over it all.
void handheld(Builder& b, const SidePictures& pictures, const Handheld& device, bool landscape,
              const ShapeOptions& options) {
  const double w = landscape ? device.height : device.width, h = landscape ? device.width : device.height;
  const double sw = landscape ? device.screenHeight : device.screenWidth;
  const double sh = landscape ? device.screenWidth : device.screenHeight;
  const double d = device.depth, lift = 0.002 * device.height;
  const std::vector<Point2> body = roundedRect(w / 2, h / 2, device.corner);
  b.use(plastic(kGraphite));
  walls(b, body, -d / 2, d / 2);
  cap(b, body, -d / 2, false, nullptr);
  // The glass lies level with the frame's rim, the screen under it.
  const double glass = d / 2 - 4 * lift;
  b.use(plastic(kBlackGlass));
  cap(b, body, glass, true, nullptr);
  screen(b, pictures, sw, sh, device.screenCorner, glass + lift, options, lift);
  // The camera: a pill on the screen at its top, or a dot in the bezel.
  b.use(plastic(0x000000));
  const double edge = device.island ? device.screenHeight / 2 - 5.5 : (device.height + device.screenHeight) / 4;
  const double along = device.island ? 6 : 1.5, across = device.island ? 1.8 : 1.5;
  const std::vector<Point2> camera = landscape ? roundedRect(across, along, across, -edge, 0)
                                               : roundedRect(along, across, across, 0, edge);
  cap(b, camera, glass + 3 * lift, true, nullptr);
  b.use(kGlass);
  cap(b, body, d / 2, true, nullptr);
}

// A laptop open at 110 degrees: its deck with keys and trackpad, its lid
// with the screen. Apple's MacBook Air 13-inch (2022): 304.1 x 215 x 11.3
// mm closed, a 13.6-inch screen of 2560 x 1664 pixels.
void laptop(Builder& b, const SidePictures& pictures, const ShapeOptions& options) {
  const double w = 304.1, deckDepth = 215, deck = 7.0, lid = 4.3, lidHeight = 212;
  const double diagonal = 13.6 * 25.4, aspect = 2560.0 / 1664;
  const double sh = diagonal / std::sqrt(1 + aspect * aspect), sw = sh * aspect;
  // The deck lies flat: built as a slab facing +z and turned face up.
  b.transform(Mat4::Rotation(-90, {1, 0, 0}));
  const std::vector<Point2> plate = roundedRect(w / 2, deckDepth / 2, 8);
  b.use(plastic(kAluminium));
  walls(b, plate, 0, deck);
  cap(b, plate, 0, false, nullptr);
  cap(b, plate, deck, true, nullptr);
  // Keys: six rows, fourteen a row, the space bar in the last; and the
  // trackpad nearer the user. (In the slab's frame +y is away from the user.)
  b.use(plastic(kKey));
  const double pitch = 19.0, key = 16.0, rows[6] = {86, 70, 53, 36, 19, 2};
  for (int row = 0; row < 6; ++row) {
    const double height = row == 0 ? 9 : key;
    if (row == 5) {
      for (const auto& [from, to] : {std::pair{-6.5, -3.5}, std::pair{-3.5, 2.5}, std::pair{2.5, 6.5}}) {
        const std::vector<Point2> k = roundedRect((to - from) * pitch / 2 - 1.5, key / 2, 1.5, (from + to) / 2 * pitch, rows[row] - 10);
        cap(b, k, deck + 0.6, true, nullptr);
      }
      continue;
    }
    for (int i = 0; i < 14; ++i) {
      const std::vector<Point2> k = roundedRect(key / 2, height / 2, 1.5, (i - 6.5) * pitch, rows[row] - 10);
      cap(b, k, deck + 0.6, true, nullptr);
    }
  }
  b.use(plastic(kTrackpad));
  cap(b, roundedRect(67, 42, 5, 0, -70), deck + 0.3, true, nullptr);
  // The lid, turned open about the hinge at the deck's back edge: built
  // standing with its screen to +z, then leant back by 20 degrees.
  const Mat4 open = Mat4::Translation({0, deck, -deckDepth / 2 + lid}) * Mat4::Rotation(-20, {1, 0, 0});
  b.transform(open);
  const std::vector<Point2> shell = roundedRect(w / 2, lidHeight / 2, 8, 0, lidHeight / 2);
  b.use(plastic(kAluminium));
  walls(b, shell, -lid, 0);
  cap(b, shell, -lid, false, nullptr);
  b.use(plastic(kBlackGlass));
  cap(b, shell, 0, true, nullptr);
  b.transform(open * Mat4::Translation({0, lidHeight - 8 - sh / 2, 0}));
  const double lift = 0.6;
  screen(b, pictures, sw, sh, 3, lift, options, lift);
  b.use(plastic(0x000000));
  cap(b, roundedRect(1.2, 1.2, 1.2, 0, sh / 2 + 4), lift, true, nullptr);
  b.transform(open);
  b.use(kGlass);
  cap(b, shell, 3 * lift, true, nullptr);
  b.transform(Mat4());
}

// A 27-inch monitor of 16:9 on its stand: the screen 597.7 x 336.2 mm (the
// diagonal's), a bezel of 8 mm and a chin of 15, its foot on the desk.
void monitor(Builder& b, const SidePictures& pictures, const ShapeOptions& options) {
  const double diagonal = 27 * 25.4, aspect = 16.0 / 9;
  const double sh = diagonal / std::sqrt(1 + aspect * aspect), sw = sh * aspect;
  const double w = sw + 16, h = sh + 8 + 15, d = 12, stand = 110;
  const std::vector<Point2> panelOutline = roundedRect(w / 2, h / 2, 4, 0, stand + h / 2);
  b.use(plastic(kAluminium));
  walls(b, panelOutline, -d, 0);
  cap(b, panelOutline, -d, false, nullptr);
  b.use(plastic(kBlackGlass));
  cap(b, panelOutline, 0, true, nullptr);
  b.transform(Mat4::Translation({0, stand + 15 + sh / 2, 0}));
  const double lift = 1.2;
  screen(b, pictures, sw, sh, 0, lift, options, lift);
  b.transform(Mat4());
  // The stand: a neck behind the panel and a foot on the desk.
  b.use(plastic(kAluminium));
  const std::vector<Point2> neck = roundedRect(35, (stand + h * 0.55) / 2, 3, 0, (stand + h * 0.55) / 2);
  walls(b, neck, -d - 16, -d);
  cap(b, neck, -d - 16, false, nullptr);
  cap(b, neck, -d, true, nullptr);
  b.transform(Mat4::Rotation(-90, {1, 0, 0}));
  const std::vector<Point2> foot = roundedRect(120, 85, 20, 0, d + 8);
  walls(b, foot, 0, 8);
  cap(b, foot, 0, false, nullptr);
  cap(b, foot, 8, true, nullptr);
  b.transform(Mat4());
  b.use(kGlass);
  cap(b, panelOutline, 3 * lift, true, nullptr);
}

// A browser's window: its tab strip with the page's title, its tool bar
// with the address field, the page below. A window 1280 pixels wide at a
// 24-inch full-HD screen's 0.2767 mm a pixel.
void browser(Builder& b, const SidePictures& pictures, const ShapeOptions& options) {
  const double px = 0.2767, w = 1280 * px, tabs = 40 * px, toolbar = 44 * px;
  const double page = w / std::max(0.2, options.pictureAspect), h = page + tabs + toolbar, d = 3;
  const std::vector<Point2> frame = roundedRect(w / 2, h / 2, 8 * px);
  b.use(plastic(kChrome));
  walls(b, frame, -d, 0);
  cap(b, frame, -d, false, nullptr);
  cap(b, frame, 0, true, nullptr);
  // The page.
  b.transform(Mat4::Translation({0, -h / 2 + page / 2, 0}));
  ShapeOptions fitted = options;
  fitted.cover = true;
  const double lift = 0.7;
  screen(b, pictures, w, page, 0, lift, fitted, lift);
  b.transform(Mat4());
  // The tool bar, white, with its address field; the tab, white, with the
  // title as the caller drew it.
  b.use(plastic(kWhite));
  const double toolbarMiddle = h / 2 - tabs - toolbar / 2;
  panel(b, kFront, lift, -w / 2, toolbarMiddle - toolbar / 2, w / 2, toolbarMiddle + toolbar / 2, nullptr);
  b.use(plastic(kAddressField));
  cap(b, roundedRect(w / 2 - 140 * px, 15 * px, 15 * px, 20 * px, toolbarMiddle), 2 * lift, true, nullptr);
  const double tabMiddle = h / 2 - tabs / 2 + 2 * px;
  SidePictures::Side tab;  // the whole of the tab's picture, its rows from the top
  tab.found = true;
  tab.origin[1] = 1;
  tab.up[1] = -1;
  b.use({0, Surface::Title, kWhite});
  panel(b, kFront, lift, -w / 2 + 90 * px, tabMiddle - 16 * px, -w / 2 + 330 * px, tabMiddle + 18 * px, &tab);
  // The window's three buttons.
  const uint32_t buttons[3] = {0xFF5F57, 0xFEBC2E, 0x28C840};
  for (int i = 0; i < 3; ++i) {
    b.use(plastic(buttons[i]));
    cap(b, roundedRect(6 * px, 6 * px, 6 * px, -w / 2 + (20 + 20 * i) * px, tabMiddle), lift, true, nullptr);
  }
}

}  // namespace

Shape ShapeOf(const SceneState& scene) {
  if (scene.productKind == kProductScreenShot) {
    Shape shape = Shape::Captured;
    DeviceShape(scene.look.device, &shape);
    return shape;
  }
  if (scene.productKind != kProductBox) return Shape::Captured;
  switch (std::clamp(static_cast<int>(scene.boxStyle), 0, kBoxStyleCount - 1)) {
    case 2: return Shape::KeepCase;
    case 3: return Shape::SlimKeepCase;
    case 4: return Shape::JewelCase;
    case 5: return Shape::SlimJewelCase;
    case 6: return Shape::CassetteCase;
    default: return Shape::RoundedBox;
  }
}

std::optional<ShapeMeasures> RealMeasures(Shape shape, bool landscape) {
  auto turned = [landscape](ShapeMeasures m) {
    if (landscape) std::swap(m.width, m.height);
    return m;
  };
  switch (shape) {
    // Amaray's keep case; its slim case is half as deep (7 mm).
    case Shape::KeepCase: return ShapeMeasures{135, 190, 14};
    case Shape::SlimKeepCase: return ShapeMeasures{135, 190, 7};
    // The jewel case of the compact disc (IEC 60908's disc, Philips' case);
    // the slim case of the same face is 5 mm deep.
    case Shape::JewelCase: return ShapeMeasures{142, 125, 10};
    case Shape::SlimJewelCase: return ShapeMeasures{142, 125, 5};
    // Philips' compact cassette case (the "Norelco box") on its end.
    case Shape::CassetteCase: return ShapeMeasures{69, 110, 17};
    // Apple's published measures: iPhone 15 (147.6 x 71.6 x 7.80 mm) and
    // iPad of the 10th generation (248.6 x 179.5 x 7.0 mm).
    case Shape::Phone: return turned({71.6, 147.6, 7.8});
    case Shape::Tablet: return turned({179.5, 248.6, 7.0});
    default: return std::nullopt;
  }
}

bool DeviceShape(const std::string& name, Shape* shape) {
  static const std::map<std::string, Shape> kDevices = {
      {"phone", Shape::Phone},     {"tablet", Shape::Tablet},   {"laptop", Shape::Laptop},
      {"monitor", Shape::Monitor}, {"browser", Shape::Browser}, {"board", Shape::Captured}};
  const auto found = kDevices.find(name);
  if (found == kDevices.end()) return false;
  *shape = found->second;
  return true;
}

const char* DeviceNames() { return "phone, tablet, laptop, monitor, browser or board"; }

SidePictures PicturesOf(const StudioMesh& captured) {
  SidePictures pictures;
  pictures.min = captured.min;
  pictures.max = captured.max;
  const V3 middle = (captured.min + captured.max) * 0.5;
  const V3 half = (captured.max - captured.min) * 0.5;
  struct Corner {
    double a, b, u, v;
  };
  // Each triangle facing a side's way, with how far out it lies; the
  // outermost of them are the side (a slab's back may stand a little inside
  // its sides' ends).
  struct Facing {
    double out;
    uint32_t texture;
    Corner corners[3];
  };
  std::vector<Facing> facing[6];
  for (const MeshBatch& batch : captured.batches) {
    for (int i = batch.first; i + 2 < batch.first + batch.count; i += 3) {
      const MeshVertex* t = &captured.vertices[static_cast<size_t>(i)];
      V3 p[3];
      for (int k = 0; k < 3; ++k) p[k] = {t[k].position[0], t[k].position[1], t[k].position[2]};
      const V3 centre = (p[0] + p[1] + p[2]) * (1.0 / 3) - middle;
      const V3 n = Normalized(Cross(p[1] - p[0], p[2] - p[0]));
      for (int side = 0; side < 6; ++side) {
        if (std::fabs(Dot(n, kNormal[side])) < 0.99 || Dot(centre, kNormal[side]) <= 0) continue;
        Facing f{Dot(centre, kNormal[side]), batch.texture, {}};
        const double hs = std::max(1e-9, along(half, kAcross[side])), ht = std::max(1e-9, along(half, kUp[side]));
        for (int k = 0; k < 3; ++k) {
          const V3 q = p[k] - middle;
          f.corners[k] = {(Dot(q, kAcross[side]) + hs) / (2 * hs), (Dot(q, kUp[side]) + ht) / (2 * ht), t[k].uv[0], t[k].uv[1]};
        }
        facing[side].push_back(f);
      }
    }
  }
  std::vector<Corner> corners[6];
  std::map<uint32_t, int> textures[6];
  const double size = std::max({half[0], half[1], half[2]});
  for (int side = 0; side < 6; ++side) {
    double outermost = 0;
    for (const Facing& f : facing[side]) outermost = std::max(outermost, f.out);
    for (const Facing& f : facing[side]) {
      if (f.out < outermost - 0.02 * size) continue;
      ++textures[side][f.texture];
      corners[side].insert(corners[side].end(), f.corners, f.corners + 3);
    }
  }
  for (int side = 0; side < 6; ++side) {
    if (corners[side].size() < 3) continue;
    // The texture most of it shows, and its coordinates as a plane over
    // (a, b) through the three corners farthest apart.
    int most = 0;
    for (const auto& [texture, count] : textures[side]) {
      if (count > most) most = count, pictures.sides[side].texture = texture;
    }
    const std::vector<Corner>& c = corners[side];
    double bestArea = 0;
    size_t pick[3] = {0, 1, 2};
    for (size_t i = 0; i < c.size(); ++i) {
      for (size_t j = i + 1; j < c.size(); ++j) {
        for (size_t k = j + 1; k < c.size(); ++k) {
          const double area = std::fabs((c[j].a - c[i].a) * (c[k].b - c[i].b) - (c[k].a - c[i].a) * (c[j].b - c[i].b));
          if (area > bestArea) bestArea = area, pick[0] = i, pick[1] = j, pick[2] = k;
        }
      }
      if (c.size() > 60 && i > 60) break;  // a box's side is two triangles; more is not a slab
    }
    if (bestArea < 1e-6) continue;
    const Corner &p = c[pick[0]], &q = c[pick[1]], &r = c[pick[2]];
    const double da1 = q.a - p.a, db1 = q.b - p.b, da2 = r.a - p.a, db2 = r.b - p.b;
    const double det = da1 * db2 - da2 * db1;
    SidePictures::Side& out = pictures.sides[side];
    for (int k = 0; k < 2; ++k) {
      const double du1 = (k ? q.v : q.u) - (k ? p.v : p.u), du2 = (k ? r.v : r.u) - (k ? p.v : p.u);
      out.across[k] = (du1 * db2 - du2 * db1) / det;
      out.up[k] = (da1 * du2 - da2 * du1) / det;
      out.origin[k] = (k ? p.v : p.u) - out.across[k] * p.a - out.up[k] * p.b;
    }
    out.found = true;
  }
  return pictures;
}

StudioMesh BuildShape(Shape shape, const SidePictures& pictures, const ShapeOptions& options) {
  Builder b;
  const ShapeMeasures& size = options.size;
  switch (shape) {
    case Shape::Captured: return {};
    case Shape::RoundedBox:
      roundedBox(b, pictures, {size.width / 2, size.height / 2, size.depth / 2}, options.radius);
      break;
    case Shape::KeepCase:
    case Shape::SlimKeepCase: keepCase(b, pictures, size); break;
    case Shape::JewelCase: jewelCase(b, pictures, size, false); break;
    case Shape::SlimJewelCase: jewelCase(b, pictures, size, true); break;
    case Shape::CassetteCase: cassetteCase(b, pictures, size); break;
    case Shape::Phone:
      handheld(b, pictures, {71.6, 147.6, 7.8, 11.0, 64.9, 140.7, 8.5, true}, size.width > size.height, options);
      break;
    case Shape::Tablet:
      handheld(b, pictures, {179.5, 248.6, 7.0, 12.0, 158.0, 227.4, 6.0, false}, size.width > size.height, options);
      break;
    case Shape::Laptop: laptop(b, pictures, options); break;
    case Shape::Monitor: monitor(b, pictures, options); break;
    case Shape::Browser: browser(b, pictures, options); break;
  }
  StudioMesh mesh = b.finish(options.unitsPerMm, options.centre);
  mesh.closed = shape == Shape::RoundedBox;
  return mesh;
}

}  // namespace kestrova::studio
