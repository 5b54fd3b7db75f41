// Writes the five 3DS models the program loads: the hard-back book (front
// cover, back cover, rounded binder, page block) and the coffee mug.
//
// Meshes are built here in the view's own coordinates (Y up, the front facing
// +Z) and turned into the file's Z-up coordinates when written, the inverse of
// the loader's (x, y, z) -> (x, z, -y). Every triangle is wound so its
// normal points out of the object. Texture coordinates are stored per
// vertex, since drawing looks them up by vertex index.
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/model_3ds.h"

using namespace kestrova;

namespace {

using Vec = std::array<float, 3>;
constexpr float kPi = 3.14159265358979f;

Vec sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
float dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

class Mesh {
 public:
  explicit Mesh(std::string name) { object_.name = std::move(name); }

  int vertex(const Vec& p, float u, float v) {
    object_.vertices.push_back({p[0], -p[2], p[1]});  // view -> file coordinates
    object_.texCoords.push_back({u, v});
    return static_cast<int>(object_.vertices.size()) - 1;
  }

  // A triangle turned so that its normal agrees with `outward`.
  void triangle(int a, int b, int c, const Vec& outward) {
    const Vec n = cross(sub(view(b), view(a)), sub(view(c), view(a)));
    if (dot(n, outward) < 0) std::swap(b, c);
    Face3DS face;
    face.vertex = {static_cast<uint16_t>(a), static_cast<uint16_t>(b), static_cast<uint16_t>(c)};
    object_.faces.push_back(face);
  }

  void quad(int a, int b, int c, int d, const Vec& outward) {
    triangle(a, b, c, outward);
    triangle(a, c, d, outward);
  }

  Object3DS take(int materialIndex) {
    object_.materialIndex = materialIndex;
    return std::move(object_);
  }

 private:
  Vec view(int i) const {
    const auto& f = object_.vertices[static_cast<size_t>(i)];
    return {f[0], f[2], -f[1]};
  }
  Object3DS object_;
};

// A box from `lo` to `hi`; `uv` maps a corner of a face to texture
// coordinates, given the face's outward axis.
template <typename UV>
void box(Mesh& mesh, const Vec& lo, const Vec& hi, UV uv) {
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      const int a1 = (axis + 1) % 3;
      const int a2 = (axis + 2) % 3;
      Vec outward{0, 0, 0};
      outward[static_cast<size_t>(axis)] = side ? 1.0f : -1.0f;
      int corners[4];
      for (int k = 0; k < 4; ++k) {
        Vec p{};
        p[static_cast<size_t>(axis)] = side ? hi[static_cast<size_t>(axis)] : lo[static_cast<size_t>(axis)];
        p[static_cast<size_t>(a1)] = (k == 1 || k == 2) ? hi[static_cast<size_t>(a1)] : lo[static_cast<size_t>(a1)];
        p[static_cast<size_t>(a2)] = (k >= 2) ? hi[static_cast<size_t>(a2)] : lo[static_cast<size_t>(a2)];
        const auto t = uv(p, outward);
        corners[k] = mesh.vertex(p, t[0], t[1]);
      }
      mesh.quad(corners[0], corners[1], corners[2], corners[3], outward);
    }
  }
}

// A smooth sheet of (nu + 1) x (nv + 1) shared vertices, so the loader's
// normals come out averaged across it. `at` gives the position and texture
// coordinates of (i, j); `outward` the side the sheet faces there.
template <typename At, typename Outward>
void grid(Mesh& mesh, int nu, int nv, At at, Outward outward) {
  std::vector<int> index(static_cast<size_t>((nu + 1) * (nv + 1)));
  for (int i = 0; i <= nu; ++i) {
    for (int j = 0; j <= nv; ++j) {
      Vec p;
      std::array<float, 2> uv;
      at(i, j, p, uv);
      index[static_cast<size_t>(i * (nv + 1) + j)] = mesh.vertex(p, uv[0], uv[1]);
    }
  }
  auto id = [&](int i, int j) { return index[static_cast<size_t>(i * (nv + 1) + j)]; };
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      mesh.quad(id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1), outward(i, j));
    }
  }
}

Model3DS oneObjectModel(Object3DS object, const std::string& material, const std::string& texture) {
  Model3DS model;
  Material3DS m;
  m.name = material;
  m.textureFile = texture;
  m.colour = {235, 235, 230};
  model.materials.push_back(m);
  model.objects.push_back(std::move(object));
  return model;
}

// --- The hard-back book ------------------------------------------------------
// Drawn 20 units away with a 45 degree view, 11.2 units tall fills about two
// thirds of the view's height.

constexpr float kBookHalfW = 3.8f;   // boards run from the spine at -3.8 to 3.8
constexpr float kBookHalfH = 5.6f;
constexpr float kBoardOut = 0.94f;   // outer face of each board
constexpr float kBoardIn = 0.80f;
constexpr float kPagesHalfH = 5.45f;  // the boards stand proud of the pages
constexpr float kPagesLeft = -3.55f;
constexpr float kPagesRight = 3.70f;

Model3DS frontCover() {
  Mesh mesh("FrontCover");
  box(mesh, {-kBookHalfW, -kBookHalfH, kBoardIn}, {kBookHalfW, kBookHalfH, kBoardOut},
      [](const Vec& p, const Vec&) {
        return std::array<float, 2>{(p[0] + kBookHalfW) / (2 * kBookHalfW),
                                    (p[1] + kBookHalfH) / (2 * kBookHalfH)};
      });
  return oneObjectModel(mesh.take(0), "Front Cover", "standard-book-front.jpg");
}

Model3DS backCover() {
  Mesh mesh("BackCover");
  // Seen from behind the picture runs from +x to the spine at -x.
  box(mesh, {-kBookHalfW, -kBookHalfH, -kBoardOut}, {kBookHalfW, kBookHalfH, -kBoardIn},
      [](const Vec& p, const Vec&) {
        return std::array<float, 2>{(kBookHalfW - p[0]) / (2 * kBookHalfW),
                                    (p[1] + kBookHalfH) / (2 * kBookHalfH)};
      });
  return oneObjectModel(mesh.take(0), "Back Cover", "standard-book-back.jpg");
}

Model3DS binder() {
  // Half a tube round the spine from the back board to the front board; the
  // spine picture runs from the back (left edge) to the front (right edge).
  Mesh mesh("Binder");
  constexpr int kSteps = 24;
  const float cx = -kBookHalfW;
  auto angle = [](float step) { return kPi * 0.5f + kPi * (kSteps - step) / kSteps; };
  auto at = [&](float radius, float step, float y) {
    return Vec{cx + radius * std::cos(angle(step)), y, radius * std::sin(angle(step))};
  };
  auto radial = [&](float step, float sign) {
    return Vec{sign * std::cos(angle(step)), 0, sign * std::sin(angle(step))};
  };
  const float height = 2 * kBookHalfH;
  for (float radius : {kBoardOut, kBoardIn}) {
    const float sign = radius == kBoardOut ? 1.0f : -1.0f;
    grid(mesh, kSteps, 1,
         [&](int i, int j, Vec& p, std::array<float, 2>& uv) {
           p = at(radius, static_cast<float>(i), -kBookHalfH + height * static_cast<float>(j));
           uv = {static_cast<float>(i) / kSteps, static_cast<float>(j)};
         },
         [&](int i, int) { return radial(static_cast<float>(i) + 0.5f, sign); });
  }
  for (float y : {-kBookHalfH, kBookHalfH}) {  // the caps
    const float v = y > 0 ? 1.0f : 0.0f;
    grid(mesh, kSteps, 1,
         [&](int i, int j, Vec& p, std::array<float, 2>& uv) {
           p = at(j == 0 ? kBoardOut : kBoardIn, static_cast<float>(i), y);
           uv = {static_cast<float>(i) / kSteps, v};
         },
         [&](int, int) { return Vec{0, y > 0 ? 1.0f : -1.0f, 0}; });
  }
  return oneObjectModel(mesh.take(0), "Binder", "standard-book-left.jpg");
}

Model3DS pageBlock() {
  // The page-edge picture has its lines across its width: map the depth of
  // the block to u on the edges, so the lines run along the pages.
  Mesh mesh("Pages");
  box(mesh, {kPagesLeft, -kPagesHalfH, -kBoardIn}, {kPagesRight, kPagesHalfH, kBoardIn},
      [](const Vec& p, const Vec& outward) {
        const float depth = (p[2] + kBoardIn) / (2 * kBoardIn);
        if (outward[1] != 0) return std::array<float, 2>{depth, (p[0] - kPagesLeft) / (kPagesRight - kPagesLeft)};
        if (outward[0] != 0) return std::array<float, 2>{depth, (p[1] + kPagesHalfH) / (2 * kPagesHalfH)};
        return std::array<float, 2>{(p[0] - kPagesLeft) / (kPagesRight - kPagesLeft), depth};
      });
  return oneObjectModel(mesh.take(0), "Pages", "ePage.jpg");
}

// --- The mug -----------------------------------------------------------------
// Drawn 280 units away: 124 units tall (with the handle and the tilt of the
// default view) fills about two thirds of the view's height.

constexpr int kAround = 72;
constexpr float kMugHalfH = 62.0f;
constexpr float kBottomRadius = 45.0f;
constexpr float kTopRadius = 49.0f;
constexpr float kWall = 4.0f;
constexpr float kFloor = 8.0f;
// Spots of the wrap picture for the surfaces it does not cover: plain glaze
// for the lip, handle and base, the dark band for the inside, which makes the
// default a two-tone mug and lets the opening read as an opening.
constexpr float kGlazeU = 0.02f;
constexpr float kGlazeV = 0.23f;
constexpr float kInsideV = 0.10f;

float outerRadius(float y) {
  const float t = (y + kMugHalfH) / (2 * kMugHalfH);
  return kBottomRadius + (kTopRadius - kBottomRadius) * t;
}

// A point at angle `u` (0..1 round the mug; u = 0.75 faces the viewer, the
// seam u = 0 lies under the handle on the right).
Vec ring(float u, float radius, float y) {
  const float theta = 2 * kPi * (u - 0.75f);
  return {radius * std::sin(theta), y, radius * std::cos(theta)};
}

Vec radialAt(float u, float sign) {
  const Vec p = ring(u, 1, 0);
  return {sign * p[0], 0, sign * p[2]};
}

Object3DS mugBody() {
  // The outer wall carries the wrap once round, bottom to top.
  Mesh mesh("Body");
  constexpr int kRings = 8;
  grid(mesh, kAround, kRings,
       [](int i, int j, Vec& p, std::array<float, 2>& uv) {
         const float u = static_cast<float>(i) / kAround;
         const float v = static_cast<float>(j) / kRings;
         const float y = -kMugHalfH + 2 * kMugHalfH * v;
         p = ring(u, outerRadius(y), y);
         uv = {u, v};
       },
       [](int i, int) { return radialAt((static_cast<float>(i) + 0.5f) / kAround, 1); });
  return mesh.take(0);
}

Object3DS mugRimAndInside() {
  // A rounded lip from the outer wall over to the inner wall, the inner wall
  // down to the floor, and the floor.
  Mesh mesh("Inside");
  constexpr int kLip = 8;
  const float lipRadius = kWall / 2;
  const float lipCentre = kTopRadius - lipRadius;
  const float top = kMugHalfH - lipRadius;
  const float floor = -kMugHalfH + kFloor;
  const float innerTop = kTopRadius - kWall;
  const float innerBottom = kBottomRadius - kWall + 1.5f;
  grid(mesh, kAround, kLip,
       [&](int i, int j, Vec& p, std::array<float, 2>& uv) {
         const float a = kPi * static_cast<float>(j) / kLip;
         p = ring(static_cast<float>(i) / kAround, lipCentre + lipRadius * std::cos(a),
                  top + lipRadius * std::sin(a));
         uv = {kGlazeU, kGlazeV};
       },
       [&](int i, int j) {
         const float a = kPi * (static_cast<float>(j) + 0.5f) / kLip;
         const Vec r = radialAt((static_cast<float>(i) + 0.5f) / kAround, 1);
         return Vec{r[0] * std::cos(a), std::sin(a), r[2] * std::cos(a)};
       });
  grid(mesh, kAround, 4,
       [&](int i, int j, Vec& p, std::array<float, 2>& uv) {
         const float t = static_cast<float>(j) / 4;
         p = ring(static_cast<float>(i) / kAround, innerTop + (innerBottom - innerTop) * t,
                  top + (floor - top) * t);
         uv = {kGlazeU, kInsideV};
       },
       [](int i, int) { return radialAt((static_cast<float>(i) + 0.5f) / kAround, -1); });
  grid(mesh, kAround, 1,
       [&](int i, int j, Vec& p, std::array<float, 2>& uv) {
         p = ring(static_cast<float>(i) / kAround, j == 0 ? innerBottom : 0.0f, floor);
         uv = {kGlazeU, kInsideV};
       },
       [](int, int) { return Vec{0, 1, 0}; });
  return mesh.take(0);
}

Object3DS mugBase() {
  Mesh mesh("Base");
  grid(mesh, kAround, 1,
       [](int i, int j, Vec& p, std::array<float, 2>& uv) {
         p = ring(static_cast<float>(i) / kAround, j == 0 ? kBottomRadius : 0.0f, -kMugHalfH);
         uv = {kGlazeU, kGlazeV};
       },
       [](int, int) { return Vec{0, -1, 0}; });
  return mesh.take(0);
}

Object3DS mugHandle() {
  // A tube bent in a C on the right (+x), its ends buried in the wall.
  Mesh mesh("Handle");
  constexpr int kAlong = 32;
  constexpr int kRound = 16;
  constexpr float kBend = 26.0f;
  constexpr float kTube = 6.0f;
  const Vec centre{kTopRadius - 9.0f, 4.0f, 0};
  auto bend = [&](float s) { return (-100.0f + 200.0f * s / kAlong) * kPi / 180.0f; };
  auto spineAt = [&](float s) {
    return Vec{centre[0] + kBend * std::cos(bend(s)), centre[1] + kBend * std::sin(bend(s)), 0};
  };
  auto point = [&](float s, float r) {
    const float b = 2 * kPi * r / kRound;
    const Vec spine = spineAt(s);
    // A slightly flattened section reads as a moulded handle.
    return Vec{spine[0] + kTube * std::cos(b) * std::cos(bend(s)),
               spine[1] + kTube * std::cos(b) * std::sin(bend(s)), kTube * 1.25f * std::sin(b)};
  };
  grid(mesh, kAlong, kRound,
       [&](int i, int j, Vec& p, std::array<float, 2>& uv) {
         p = point(static_cast<float>(i), static_cast<float>(j));
         uv = {kGlazeU, kGlazeV};
       },
       [&](int i, int j) {
         const float s = static_cast<float>(i) + 0.5f;
         return sub(point(s, static_cast<float>(j) + 0.5f), spineAt(s));
       });
  return mesh.take(0);
}

Model3DS mug() {
  Model3DS model;
  Material3DS glaze;
  glaze.name = "Glaze";
  glaze.textureFile = "MugTexture.jpg";
  glaze.colour = {250, 248, 243};
  model.materials.push_back(glaze);
  model.objects.push_back(mugBody());
  model.objects.push_back(mugRimAndInside());
  model.objects.push_back(mugBase());
  model.objects.push_back(mugHandle());
  for (Object3DS& object : model.objects) object.materialIndex = 0;
  return model;
}

bool write(const std::filesystem::path& path, const Model3DS& model) {
  std::filesystem::create_directories(path.parent_path());
  const std::vector<uint8_t> bytes = Write3DS(model);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "make-models: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrova-make-models PROGRAM_FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  bool ok = true;
  ok &= write(folder / "Books/FrontCover1.3ds", frontCover());
  ok &= write(folder / "Books/BackCover1.3ds", backCover());
  ok &= write(folder / "Books/Binder1.3ds", binder());
  ok &= write(folder / "Books/Page1.3ds", pageBlock());
  ok &= write(folder / "Mug/Coffee-Mug.3ds", mug());
  return ok ? 0 : 1;
}
