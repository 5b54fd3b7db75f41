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

V3 BrightestDirection(const FloatPicture& picture) {
  // The brightest thousandth of the upper half's light, by solid angle: the
  // sun or the window, whatever else the picture holds.
  struct Sample {
    double radiance, weight;
    V3 direction;
  };
  std::vector<Sample> samples;
  const int step = std::max(1, static_cast<int>(std::sqrt(double(picture.width) * picture.height / 2.5e5)));
  const double dTheta = M_PI / picture.height, dPhi = 2 * M_PI / picture.width;
  double total = 0;
  for (int y = 0; y < picture.height / 2; y += step) {
    const double theta = (y + 0.5) * dTheta;
    const double weight = std::sin(theta);
    for (int x = 0; x < picture.width; x += step) {
      const double phi = (x + 0.5) * dPhi - M_PI;
      const float* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
      const double l = luminance({std::max(0.0f, p[0]), std::max(0.0f, p[1]), std::max(0.0f, p[2])});
      samples.push_back({l, weight, {std::sin(theta) * std::sin(phi), std::cos(theta), -std::sin(theta) * std::cos(phi)}});
      total += weight;
    }
  }
  std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.radiance > b.radiance; });
  V3 sum{0, 0, 0};
  double taken = 0;
  for (const Sample& s : samples) {
    if (taken > total * 0.001 && taken > 0) break;
    sum = sum + s.direction * (s.radiance * s.weight);
    taken += s.weight;
  }
  if (!(Length(sum) > 0)) return {0, 1, 0};
  V3 d = Normalized(sum);
  // A sun at the horizon would throw its shadow out of the picture.
  const double lowest = std::sin(20.0 * M_PI / 180.0);
  if (d[1] < lowest) {
    const double flat = std::hypot(d[0], d[2]);
    const double scale = flat > 0 ? std::sqrt(1 - lowest * lowest) / flat : 0;
    d = flat > 0 ? V3{d[0] * scale, lowest, d[2] * scale} : V3{0, 1, 0};
  }
  return d;
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
  // The scale goes into the coefficients themselves: a picture stored
  // at 1e30 would otherwise give coefficients past a float's range and a
  // strength below it, and light the product black.
  const double scale = wanted / measured;
  if (!std::isfinite(scale) || !(scale > 0)) {
    *error = "cannot light the studio from " + path + ": its values are too large to use";
    return false;
  }
  for (V3& coefficient : lit.harmonics) coefficient = coefficient * scale;
  setup->environment = lit;
  // The key stands where the picture's light comes from, so the product's
  // light and the floor's one shadow agree with what lights them.
  if (!setup->lights.empty()) setup->lights.front().direction = BrightestDirection(picture);
  return true;
}

}  // namespace kestrova::studio
