#include "render/studio/studio_camera.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrova::studio {

namespace {

constexpr double kClassicHalfTan = 0.41421356237309503;  // tan(22.5 degrees)

// The camera's turn: height (X) after the product's turn on the floor,
// then the tilt (Z).
Mat4 cameraTurn(const SceneState& scene) {
  return Mat4::Rotation(scene.rotation[2], {0, 0, 1}) * Mat4::Rotation(scene.rotation[0], {1, 0, 0});
}

// The smallest distance at which every point fits within +-a (x) and +-b
// (y) at unit distance, with the sideways shift that centres them. `points`
// are in the camera's axes, relative to its target.
bool fit(const std::vector<V3>& points, double a, double b, V3* shift) {
  auto interval = [&](double distance, int axis, double reach, double* low, double* high) {
    *low = -std::numeric_limits<double>::infinity();
    *high = std::numeric_limits<double>::infinity();
    for (const V3& p : points) {
      const double depth = distance - p[2];
      if (depth <= 0) return false;
      *low = std::max(*low, -reach * depth - p[static_cast<size_t>(axis)]);
      *high = std::min(*high, reach * depth - p[static_cast<size_t>(axis)]);
    }
    return *low <= *high;
  };
  double extent = 1e-6;
  for (const V3& p : points) extent = std::max(extent, Length(p));
  double near = 0, far = extent * (1 + 1 / std::min(a, b)) * 2 + extent;
  double l, h;
  if (!interval(far, 0, a, &l, &h) || !interval(far, 1, b, &l, &h)) return false;
  for (int i = 0; i < 80; ++i) {
    const double mid = (near + far) / 2;
    if (interval(mid, 0, a, &l, &h) && interval(mid, 1, b, &l, &h)) far = mid;
    else near = mid;
  }
  double xl, xh, yl, yh;
  interval(far, 0, a, &xl, &xh);
  interval(far, 1, b, &yl, &yh);
  *shift = {(xl + xh) / 2, (yl + yh) / 2, -far};
  // Centred as the picture shows it: the extremes' angles, not their
  // distances, equal on both sides (the middle of the allowed shifts leaves
  // a near edge and a far one unequal margins).
  for (size_t axis = 0; axis < 2; ++axis) {
    const double low = axis == 0 ? xl : yl, high = axis == 0 ? xh : yh;
    for (int round = 0; round < 8; ++round) {
      const double s = (*shift)[axis];
      size_t most = 0, least = 0;
      double top = -std::numeric_limits<double>::infinity(), bottom = std::numeric_limits<double>::infinity();
      for (size_t i = 0; i < points.size(); ++i) {
        const double seen = (points[i][axis] + s) / (far - points[i][2]);
        if (seen > top) top = seen, most = i;
        if (seen < bottom) bottom = seen, least = i;
      }
      const double dm = far - points[most][2], dl = far - points[least][2];
      const double centred = -(points[most][axis] / dm + points[least][axis] / dl) / (1 / dm + 1 / dl);
      (*shift)[axis] = std::clamp(centred, low, high);
    }
  }
  return true;
}

// What a product turning about the vertical never leaves, in the camera's
// axes: the upright cylinder round its base's axis (`around` points on its
// foot and as many on its top) and, where `shadowReach` is given, a ring on
// the floor that far out.
std::vector<V3> turningCylinder(const Mat4& model, const StudioMesh& mesh, const Mat4& aboutPivot, int around,
                                double shadowReach) {
  double reach = 0, top = 0;
  for (const MeshVertex& v : mesh.vertices) {
    const V3 at = model.point({v.position[0], v.position[1], v.position[2]});
    reach = std::max(reach, std::hypot(at[0], at[2]));
    top = std::max(top, at[1]);
  }
  std::vector<V3> points;
  for (int i = 0; i < around; ++i) {
    const double a = 2 * M_PI * i / around, c = std::cos(a), s = std::sin(a);
    points.push_back(aboutPivot.point({reach * c, 0, reach * s}));
    points.push_back(aboutPivot.point({reach * c, top, reach * s}));
    if (shadowReach > 0) points.push_back(aboutPivot.point({shadowReach * c, 0, shadowReach * s}));
  }
  return points;
}

// A case or device made in place of the classic slab: how much farther
// than the slab's distance it is drawn from, so that it takes no more room
// than the slab (its diagonal against the slab's) and stands whole in the
// picture with a little margin. Both measures hold at any turn about the
// vertical (the upright cylinder round the base's axis), so a turntable
// keeps one size.
double intoTheRoom(const StudioCamera& camera, const StudioMesh& mesh, const Mat4& aboutPivot, const V3& shift) {
  const double room = Length(mesh.roomMax - mesh.roomMin), own = Length(mesh.max - mesh.min);
  double farther = room > 0 ? std::max(1.0, own / room) : 1.0;
  constexpr double kMargin = 0.03;
  const std::vector<V3> cylinder = turningCylinder(camera.model, mesh, aboutPivot, 32, 0);
  auto whole = [&](double k) {
    for (const V3& p : cylinder) {
      const V3 e = shift * k + p;
      const double depth = -e[2];
      if (!(depth > 0) || std::fabs(e[0]) > camera.tanHalfX * (1 - 2 * kMargin) * depth ||
          std::fabs(e[1]) > camera.tanHalfY * (1 - 2 * kMargin) * depth) {
        return false;
      }
    }
    return true;
  };
  if (whole(farther)) return farther;
  // Farther still, until it stands whole; a product whose turning point
  // lies off the picture is left where the slab's distance puts it.
  double near = farther, far = farther * 64;
  if (!whole(far)) return farther;
  for (int i = 0; i < 40; ++i) {
    const double mid = (near + far) / 2;
    (whole(mid) ? far : near) = mid;
  }
  return far;
}

}  // namespace

double VerticalFieldOfView(double mm) { return 2 * std::atan(12.0 / std::max(1.0, mm)) * 180 / M_PI; }

V3 BasePoint(const StudioMesh& mesh) {
  return {(mesh.min[0] + mesh.max[0]) / 2, mesh.min[1], (mesh.min[2] + mesh.max[2]) / 2};
}

StudioCamera PlaceCamera(const SceneState& scene, const StudioMesh& mesh, double aspect,
                         const std::vector<V3>& floorPoints) {
  StudioCamera camera;
  const double lens = scene.look.lens > 0 ? scene.look.lens : 50.0;
  camera.tanHalfY = std::tan(VerticalFieldOfView(lens) * M_PI / 360);
  camera.tanHalfX = camera.tanHalfY * aspect;
  const Mat4 turn = Mat4::Rotation(scene.rotation[1], {0, 1, 0});
  const V3 base = BasePoint(mesh);
  camera.model = turn * Mat4::Translation(V3{0, 0, 0} - base);
  // Eye = shift + camera turn (floor point + the base's place after the turn).
  const Mat4 aboutPivot = cameraTurn(scene) * Mat4::Translation(turn.direction(base));
  V3 shift;
  if (scene.look.fit >= 0 && !mesh.empty()) {
    const double margin = std::clamp(scene.look.fit, 0, 45) / 100.0;
    std::vector<V3> points;
    points.reserve(mesh.vertices.size() + floorPoints.size());
    if (scene.look.fitEveryTurn) {
      // Whatever the turn, the product stays inside the upright cylinder
      // round its base's axis, and its shadow inside a disc on the floor.
      double shadowReach = 0;
      for (const V3& p : floorPoints) shadowReach = std::max(shadowReach, std::hypot(p[0], p[2]));
      points = turningCylinder(camera.model, mesh, aboutPivot, 48, shadowReach);
    } else {
      for (const MeshVertex& v : mesh.vertices) {
        points.push_back(aboutPivot.point(camera.model.point({v.position[0], v.position[1], v.position[2]})));
      }
      for (const V3& p : floorPoints) points.push_back(aboutPivot.point(p));
    }
    if (!fit(points, camera.tanHalfX * (1 - 2 * margin), camera.tanHalfY * (1 - 2 * margin), &shift)) {
      shift = ProductPivot(scene);
    }
  } else {
    // As large as the classic frame draws it: the same place on the
    // picture, the distance scaled to the narrower lens.
    shift = ProductPivot(scene) * (kClassicHalfTan / camera.tanHalfY);
    if (mesh.roomMax[1] > mesh.roomMin[1]) shift = shift * intoTheRoom(camera, mesh, aboutPivot, shift);
  }
  camera.view = Mat4::Translation(shift) * aboutPivot;
  const Mat4 inverseTurn = Mat4::Rotation(-scene.rotation[0], {1, 0, 0}) * Mat4::Rotation(-scene.rotation[2], {0, 0, 1});
  camera.eye = V3{0, 0, 0} - turn.direction(base) - inverseTurn.direction(shift) ;
  // Depth range from the product's distance.
  double nearest = std::numeric_limits<double>::infinity(), farthest = 0;
  for (const MeshVertex& v : mesh.vertices) {
    const double depth = -camera.view.point(camera.model.point({v.position[0], v.position[1], v.position[2]}))[2];
    nearest = std::min(nearest, depth);
    farthest = std::max(farthest, depth);
  }
  const double size = mesh.size();
  camera.nearPlane = std::max(size * 1e-3, std::isfinite(nearest) ? nearest - 4 * size : size);
  camera.nearPlane = std::max(camera.nearPlane, size * 1e-3);
  camera.farPlane = std::max(farthest, camera.nearPlane) + 8 * size;
  return camera;
}

Mat4 TileProjection(const StudioCamera& c, int width, int height, int x0, int y0, int w, int h) {
  const double top = c.nearPlane * c.tanHalfY;
  const double right = c.nearPlane * c.tanHalfX;
  const double l = -right + 2.0 * right * x0 / width;
  const double r = -right + 2.0 * right * (x0 + w) / width;
  const double t = top - 2.0 * top * y0 / height;
  const double b = top - 2.0 * top * (y0 + h) / height;
  return Mat4::Frustum(l, r, b, t, c.nearPlane, c.farPlane);
}

}  // namespace kestrova::studio
