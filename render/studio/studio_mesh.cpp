#include "render/studio/studio_mesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "render/deferred_assets.h"
#include "render/classic/feedback_polygons.h"
#include "render/classic/render_frame.h"
#include "render/studio/product_shapes.h"
#include "scene/product_styles.h"

namespace kestrova::studio {

namespace {

// Eye coordinates within +-kReach map linearly to feedback coordinates.
constexpr double kReach = 4000.0;
// Triangles meeting at less than this share their normals (the mug's round
// body); at more (a box's edges) each keeps its own.
constexpr double kSmoothCos = 0.64;  // about 50 degrees

struct Captured {
  uint32_t texture;
  V3 p[3];
  float uv[3][2];
};

std::vector<Captured> feedback(SceneState& scene, int viewport) {
  std::vector<Captured> triangles;
  const double half = viewport / 2.0;
  auto unmap = [&](const FeedbackVertex& f, V3* p, float* uv) {
    (*p)[0] = (f.x / half - 1) * kReach;
    (*p)[1] = (f.y / half - 1) * kReach;
    (*p)[2] = -(f.z * 2.0 - 1) * kReach;
    uv[0] = static_cast<float>(f.s);
    uv[1] = static_cast<float>(f.t);
  };
  ForEachFeedbackPolygon(scene, [&](uint32_t texture, const std::vector<FeedbackVertex>& polygon) {
    Captured first{};
    first.texture = texture;
    unmap(polygon[0], &first.p[0], first.uv[0]);
    for (size_t v = 1; v + 1 < polygon.size(); ++v) {
      Captured t = first;
      unmap(polygon[v], &t.p[1], t.uv[1]);
      unmap(polygon[v + 1], &t.p[2], t.uv[2]);
      if (Length(Cross(t.p[1] - t.p[0], t.p[2] - t.p[0])) > 1e-9) triangles.push_back(t);
    }
  });
  return triangles;
}

// A product made only of faces square to its axes (every box style, the
// flat books, the board) is drawn by the classic frame as separate slabs
// that stop a hair short of each other or poke a hair past: the front ends
// 0.1 units outside the sides, the bottom floats 0.09 above the front's
// foot. Seen at an edge, the rasteriser shows the far faces' insides
// through those slits as a dotted dark line. Coordinates that close
// together along an axis are one plane moved to its outer side, so the
// faces meet edge to edge; the board's two sides, as far apart as the
// board is thick, stay apart.
// True when it closed them: the triangles then face outwards, so the
// faces hidden behind others can be left out rather than fight them for
// the pixels of a shared edge.
bool closeSeams(std::vector<Captured>* triangles) {
  if (triangles->empty()) return false;
  for (const Captured& t : *triangles) {
    const V3 n = Cross(t.p[1] - t.p[0], t.p[2] - t.p[0]);
    const double length = Length(n);
    if (!(length > 0)) return false;
    int flat = 0;
    for (size_t c = 0; c < 3; ++c) flat += std::fabs(n[c]) / length > 1 - 1e-6 ? 1 : 0;
    if (flat != 1) return false;
  }
  double size = 0;
  for (size_t axis = 0; axis < 3; ++axis) {
    std::vector<double> values;
    for (const Captured& t : *triangles) {
      for (const V3& p : t.p) values.push_back(p[axis]);
    }
    if (values.empty()) return false;
    std::sort(values.begin(), values.end());
    size = std::max(size, values.back() - values.front());
  }
  const double reach = 0.005 * size;
  for (size_t axis = 0; axis < 3; ++axis) {
    std::vector<double> values;
    for (const Captured& t : *triangles) {
      for (const V3& p : t.p) values.push_back(p[axis]);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    const double extent = values.back() - values.front();
    const double middle = (values.back() + values.front()) / 2;
    // Runs of values each within reach of the next, spanning little of the
    // product's extent on this axis.
    std::map<double, double> moved;
    for (size_t first = 0; first < values.size();) {
      size_t last = first;
      while (last + 1 < values.size() && values[last + 1] - values[last] <= reach) ++last;
      const bool narrow = values[last] - values[first] <= std::min(reach, 0.25 * extent);
      const double outer = std::fabs(values[first] - middle) > std::fabs(values[last] - middle) ? values[first] : values[last];
      for (size_t i = first; i <= last; ++i) moved[values[i]] = narrow ? outer : values[i];
      first = last + 1;
    }
    for (Captured& t : *triangles) {
      for (V3& p : t.p) p[axis] = moved[p[axis]];
    }
  }
  V3 low = triangles->front().p[0], high = low;
  for (const Captured& t : *triangles) {
    for (const V3& p : t.p) {
      for (size_t c = 0; c < 3; ++c) low[c] = std::min(low[c], p[c]), high[c] = std::max(high[c], p[c]);
    }
  }
  const V3 middle = (low + high) * 0.5;
  for (Captured& t : *triangles) {
    const V3 n = Cross(t.p[1] - t.p[0], t.p[2] - t.p[0]);
    if (Dot(n, (t.p[0] + t.p[1] + t.p[2]) * (1.0 / 3) - middle) < 0) {
      std::swap(t.p[1], t.p[2]);
      std::swap(t.uv[1][0], t.uv[2][0]);
      std::swap(t.uv[1][1], t.uv[2][1]);
    }
  }
  return true;
}

using Key = std::tuple<long, long, long>;
Key keyOf(const V3& p) {
  return {std::lround(p[0] * 256), std::lround(p[1] * 256), std::lround(p[2] * 256)};
}

}  // namespace

int StudioMesh::solidCount() const {
  for (const MeshBatch& batch : batches) {
    if (SeeThrough(batch.surface)) return batch.first;
  }
  return static_cast<int>(vertices.size());
}

double StudioMesh::size() const { return std::max({max[0] - min[0], max[1] - min[1], max[2] - min[2], 1e-6}); }

V3 ProductPivot(const SceneState& scene) {
  const V3 pan{scene.pan[0], scene.pan[1], scene.pan[2]};
  switch (ShownProductOf(scene.productKind).value_or(ShownProduct::Box)) {
    case ShownProduct::Book:
      if (scene.bookBinding >= 2.0f) return {pan[0] / 50, pan[1] / 50, (pan[2] - 1000) / 50};
      return {pan[0] / 50, pan[1] / 50, pan[2] - 100};
    case ShownProduct::Mug: return {pan[0] / 10, pan[1] / 10, (pan[2] - 1000) / 10 - 180};
    case ShownProduct::Box:
    case ShownProduct::ScreenShot: break;
  }
  return {pan[0] / 50, pan[1] / 50, pan[2] - 100};
}

StudioMesh CaptureProductMesh(SceneState& scene) {
  StudioMesh mesh;
  const std::optional<ShownProduct> shown = ShownProductOf(scene.productKind);
  if (!shown) return mesh;
  LoadAssetsFor(scene, *shown);
  mesh.material = *shown == ShownProduct::Mug ? Material::Ceramic : Material::Card;

  GLint maxViewport[2] = {4096, 4096};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  const int viewport = std::min(maxViewport[0], maxViewport[1]);
  const Vec3 rotation = scene.rotation;
  const float lighting = scene.lightingMode;
  const float spotEditing = scene.panelSubMode;
  scene.rotation = {0, 0, 0};
  scene.lightingMode = 0;
  scene.panelSubMode = 0;
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glDisable(GL_LIGHTING);  // unlit, a flat face is one quad
  glViewport(0, 0, viewport, viewport);
  std::vector<Captured> triangles;
  {
    const EyeSpaceCapture eyeSpace(kReach, true);
    triangles = feedback(scene, viewport);
  }
  glPopAttrib();
  scene.rotation = rotation;
  scene.lightingMode = lighting;
  scene.panelSubMode = spotEditing;

  // The mug's reflection pass is the classic frame's stand-in for a glaze:
  // the studio shades the glaze itself.
  const uint32_t reflection = scene.textureSlot[kSlotMugEnvironment];
  const V3 pivot = ProductPivot(scene);
  std::vector<Captured> kept;
  kept.reserve(triangles.size());
  for (const Captured& t : triangles) {
    if (*shown == ShownProduct::Mug && t.texture == reflection) continue;
    Captured c = t;
    for (V3& p : c.p) p = p - pivot;
    // The mug's lip, inside, foot and handle take one spot of the wrap each:
    // the studio glazes them instead of stretching that spot's colour.
    if (*shown == ShownProduct::Mug && c.uv[0][0] == c.uv[1][0] && c.uv[1][0] == c.uv[2][0] &&
        c.uv[0][1] == c.uv[1][1] && c.uv[1][1] == c.uv[2][1]) {
      c.texture = 0;
    }
    kept.push_back(c);
  }
  mesh.closed = closeSeams(&kept);
  std::stable_sort(kept.begin(), kept.end(), [](const Captured& a, const Captured& b) { return a.texture < b.texture; });

  // Smooth normals where neighbouring triangles meet at a shallow angle.
  std::vector<V3> faceNormal(kept.size());
  std::map<Key, std::vector<size_t>> byCorner;
  for (size_t i = 0; i < kept.size(); ++i) {
    faceNormal[i] = Normalized(Cross(kept[i].p[1] - kept[i].p[0], kept[i].p[2] - kept[i].p[0]));
    for (const V3& p : kept[i].p) byCorner[keyOf(p)].push_back(i);
  }
  mesh.vertices.reserve(kept.size() * 3);
  for (size_t i = 0; i < kept.size(); ++i) {
    const Captured& t = kept[i];
    if (mesh.batches.empty() || mesh.batches.back().texture != t.texture) {
      mesh.batches.push_back({t.texture, static_cast<int>(mesh.vertices.size()), 0});
    }
    for (int k = 0; k < 3; ++k) {
      V3 n{0, 0, 0};
      for (size_t other : byCorner[keyOf(t.p[k])]) {
        const double d = Dot(faceNormal[other], faceNormal[i]);
        // Faces wound the other way round still count, turned over.
        if (std::fabs(d) >= kSmoothCos) n = n + faceNormal[other] * (d < 0 ? -1.0 : 1.0);
      }
      n = Normalized(n);
      if (Length(n) == 0) n = faceNormal[i];
      MeshVertex v{};
      for (int c = 0; c < 3; ++c) {
        v.position[c] = static_cast<float>(t.p[k][static_cast<size_t>(c)]);
        v.normal[c] = static_cast<float>(n[static_cast<size_t>(c)]);
      }
      v.uv[0] = t.uv[k][0];
      v.uv[1] = t.uv[k][1];
      mesh.vertices.push_back(v);
      for (size_t c = 0; c < 3; ++c) {
        const double value = t.p[k][c];
        mesh.min[c] = mesh.vertices.size() == 1 ? value : std::min(mesh.min[c], value);
        mesh.max[c] = mesh.vertices.size() == 1 ? value : std::max(mesh.max[c], value);
      }
    }
    mesh.batches.back().count += 3;
  }
  return mesh;
}

StudioMesh ProductMesh(SceneState& scene) {
  StudioMesh captured = CaptureProductMesh(scene);
  const Shape shape = ShapeOf(scene);
  if (shape == Shape::Captured || captured.empty()) return captured;
  const SidePictures pictures = PicturesOf(captured);
  const V3 extent = captured.max - captured.min;
  ShapeOptions options;
  options.centre = (captured.min + captured.max) * 0.5;
  const int style = std::clamp(static_cast<int>(scene.boxStyle), 0, kBoxStyleCount - 1);
  const double aspect = scene.pictureHeight[0] > 0 ? static_cast<double>(scene.pictureWidth[0]) / scene.pictureHeight[0] : 1.0;
  options.pictureAspect = aspect;
  options.cover = scene.look.screenCover;
  if (shape == Shape::RoundedBox) {
    // A retail box has no standard size: its style's height and its drawn
    // proportions, edges rounded as far as a folded card's (1 mm) unless
    // asked otherwise.
    options.unitsPerMm = extent[1] / (kBoxStyles[style].height * 1000);
    options.size = {extent[0] / options.unitsPerMm, extent[1] / options.unitsPerMm, extent[2] / options.unitsPerMm};
    options.radius = scene.look.radius >= 0 ? scene.look.radius : 1.0;
  } else if (const std::optional<ShapeMeasures> real = RealMeasures(shape, aspect > 1); real && scene.productKind == kProductBox) {
    // A case at its real measures, stretched as far as the shot's scale
    // stretches its style's slab.
    V3 standard = extent;
    const ProductStyle& own = kBoxStyles[style];
    if (scene.scale != Vec3{own.sx, own.sy, own.sz}) {
      const Vec3 asked = scene.scale;
      scene.scale = {own.sx, own.sy, own.sz};
      const StudioMesh plain = CaptureProductMesh(scene);
      scene.scale = asked;
      if (!plain.empty()) standard = plain.max - plain.min;
    }
    options.unitsPerMm = standard[1] / real->height;
    options.size = {real->width * extent[0] / standard[0], real->height * extent[1] / standard[1],
                    real->depth * extent[2] / standard[2]};
  } else {
    // A device at its own size, as large in the shot as the board was.
    options.size = real ? *real : ShapeMeasures{};
    options.unitsPerMm = 1;
    const StudioMesh first = BuildShape(shape, pictures, options);
    const V3 built = first.max - first.min;
    options.unitsPerMm = std::max(extent[0], extent[1]) / std::max({built[0], built[1], 1e-9});
  }
  StudioMesh mesh = BuildShape(shape, pictures, options);
  mesh.material = captured.material;
  mesh.mmPerUnit = 1 / options.unitsPerMm;
  mesh.roomMin = captured.min;
  mesh.roomMax = captured.max;
  return mesh;
}

void FitDepthToHeight(SceneState& scene, double ratio) {
  auto measured = [&scene](float depthScale) {
    scene.scale[2] = depthScale;
    const StudioMesh mesh = CaptureProductMesh(scene);
    const double height = mesh.max[1] - mesh.min[1];
    return height > 0 ? (mesh.max[2] - mesh.min[2]) / height : 0.0;
  };
  float a = scene.scale[2], b = a + 10;
  double atA = measured(a), atB = measured(b);
  // The secant: straight for the styles drawn as models, nearly so for the
  // flat ones.
  for (int step = 0; step < 4 && std::fabs(atB - ratio) > 1e-4 * ratio && atB != atA; ++step) {
    const float c = static_cast<float>(b + (ratio - atB) * (b - a) / (atB - atA));
    a = b, atA = atB;
    b = c, atB = measured(c);
  }
  scene.scale[2] = b;
}

}  // namespace kestrova::studio
