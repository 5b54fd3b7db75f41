#pragma once
// Where the studio's camera stands: the product on its floor, the shot's
// rotation read as the camera's height (X), the product turning on the
// floor (Y) and a tilted camera (Z); the lens and the framing.
#include <vector>

#include "render/studio/studio_math.h"
#include "render/studio/studio_mesh.h"
#include "scene/scene_state.h"

namespace kestrova::studio {

// The vertical angle of view, in degrees, of a lens of `mm` on a 36 x 24 mm
// frame (50 mm: 27 degrees; the classic frame's 45 degrees is 29 mm).
double VerticalFieldOfView(double mm);

struct StudioCamera {
  Mat4 model;  // product frame to the floor's frame: turned on the floor, base at y = 0, centred
  Mat4 view;   // the floor's frame to eye coordinates
  double tanHalfY = 0.4;  // the whole picture's frustum at unit distance
  double tanHalfX = 0.5;
  double nearPlane = 0.1;
  double farPlane = 1000;
  V3 eye{0, 0, 0};  // the camera in the floor's frame
};

// `floorPoints`: points on the floor (shadow, reflection) that framing keeps
// in the picture too. `aspect`: width / height.
StudioCamera PlaceCamera(const SceneState& scene, const StudioMesh& mesh, double aspect,
                         const std::vector<V3>& floorPoints);

// The product's base point (centre of its footprint, on its lowest level)
// in its own frame.
V3 BasePoint(const StudioMesh& mesh);

// The projection of the part x0..x0+w, y0..y0+h (rows from the top) of a
// picture of width x height.
Mat4 TileProjection(const StudioCamera& camera, int width, int height, int x0, int y0, int w, int h);

}  // namespace kestrova::studio
