#include "render/studio/environment_map.h"

#include <algorithm>
#include <cmath>

#include "formats/environment_picture.h"

namespace kestrova::studio {

namespace {

double luminance(const V3& c) { return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]; }

}  // namespace

std::vector<V3> ProjectEnvironment(const FloatPicture& picture) {
  // Nine real spherical harmonics of the radiance, each pixel weighted by
  // the solid angle it covers. The top row looks straight up (+y); the
  // middle column looks towards -z, away from the camera.
  std::vector<V3> sh(9, V3{0, 0, 0});
  const int step = std::max(1, static_cast<int>(std::sqrt(double(picture.width) * picture.height / 1.0e6)));
  const double dTheta = M_PI / picture.height, dPhi = 2 * M_PI / picture.width;
  for (int y = 0; y < picture.height; y += step) {
    const double theta = (y + 0.5) * dTheta;
    const double weight = std::sin(theta) * dTheta * dPhi * step * step;
    for (int x = 0; x < picture.width; x += step) {
      const double phi = (x + 0.5) * dPhi - M_PI;
      const double dx = std::sin(theta) * std::sin(phi), dy = std::cos(theta), dz = -std::sin(theta) * std::cos(phi);
      const float* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
      const double basis[9] = {0.282095,
                               0.488603 * dy,
                               0.488603 * dz,
                               0.488603 * dx,
                               1.092548 * dx * dy,
                               1.092548 * dy * dz,
                               0.315392 * (3 * dz * dz - 1),
                               1.092548 * dx * dz,
                               0.546274 * (dx * dx - dy * dy)};
      for (size_t k = 0; k < 9; ++k) {
        for (size_t c = 0; c < 3; ++c) sh[k][c] += std::max(0.0f, p[c]) * basis[k] * weight;
      }
    }
  }
  return sh;
}

bool LightFromEnvironment(const std::string& path, StudioSetup* setup, std::string* error) {
  FloatPicture picture;
  if (!ReadEnvironmentPicture(path, &picture, error)) return false;
  StudioEnvironment lit = setup->environment;
  lit.harmonics = ProjectEnvironment(picture);
  // The picture's colour, at the studio's own strength: how bright an HDR
  // picture is stored says nothing of the exposure wanted.
  const V3 up = EnvironmentIrradiance(lit, {0, 1, 0});
  const V3 side = EnvironmentIrradiance(lit, {0, 0, 1});
  const double measured = luminance(up) + luminance(side);
  StudioEnvironment dome = setup->environment;
  dome.harmonics.clear();
  const double wanted = luminance(EnvironmentIrradiance(dome, {0, 1, 0})) + luminance(EnvironmentIrradiance(dome, {0, 0, 1}));
  if (!(measured > 1e-9)) {
    *error = "cannot light the studio from " + path + ": it is black";
    return false;
  }
  lit.intensity *= wanted / measured;
  setup->environment = lit;
  return true;
}

}  // namespace kestrova::studio
