#include "render/studio/studio_setup.h"

#include <algorithm>

namespace kestrova::studio {

namespace {

double luminance(const V3& c) { return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]; }

// White card standing turned to the key shows white: the lights are scaled
// so the irradiance there is 1.
void normalise(StudioSetup* s) {
  const V3 key = s->lights[0].direction;
  const double scale = 1.0 / luminance(Irradiance(*s, Normalized({key[0], 0, key[2]})));
  for (StudioLight& light : s->lights) light.intensity *= scale;
  s->environment.intensity *= scale;
}

StudioSetup make(const char* name, double distance, double keyRadius, double fill, double rim, double dome) {
  StudioSetup s;
  s.name = name;
  // Key high on the camera's right, fill lower on its left, rim high
  // behind: high enough that their shadows stay short. Close lights grade
  // a face more across its width; the fill and rim stand farther off.
  s.lights = {{"key", Normalized({0.45, 1.2, 0.8}), distance, keyRadius, 1.0, {1.0, 0.98, 0.95}},
              {"fill", Normalized({-0.85, 0.6, 0.6}), distance * 1.4, keyRadius * 1.5, fill, {0.95, 0.97, 1.0}},
              {"rim", Normalized({-0.3, 1.3, -0.6}), distance, keyRadius * 0.5, rim, {1.0, 1.0, 1.0}}};
  s.environment.sky = {1.0, 1.0, 1.0};
  s.environment.horizon = {0.9, 0.9, 0.9};
  s.environment.ground = {0.55, 0.55, 0.55};
  s.environment.intensity = dome;
  normalise(&s);
  return s;
}

}  // namespace

const std::vector<std::string>& StudioNames() {
  static const std::vector<std::string> names = {"bright", "soft", "dark"};
  return names;
}

std::optional<std::array<float, 3>> SetupBackground(const std::string& name) {
  const std::optional<StudioSetup> setup = BuiltInStudio(name);
  if (!setup || !setup->sweep) return std::nullopt;
  const V3& sweep = *setup->sweep;
  return std::array<float, 3>{static_cast<float>(sweep[0]), static_cast<float>(sweep[1]), static_cast<float>(sweep[2])};
}

std::optional<StudioSetup> BuiltInStudio(const std::string& name) {
  // High key on a white sweep; a light tent (big, close, even light all
  // round); a low key on a dark sweep: one hard key, almost no fill, a
  // strong rim that draws the edges.
  if (name == "bright") {
    StudioSetup s = make("bright", 2.2, 0.6, 0.3, 0.45, 0.35);
    s.stripBrightness = 8.0;
    return s;
  }
  if (name == "soft") {
    StudioSetup s = make("soft", 1.8, 1.2, 0.6, 0.25, 0.75);
    s.stripBrightness = 5.0;
    s.stripWidth = 2.0;  // the tent's wall
    return s;
  }
  if (name == "dark") {
    StudioSetup s = make("dark", 3.0, 0.2, 0.0, 1.4, 0.01);
    s.lights[2].direction = Normalized({-0.5, 0.9, -0.9});
    s.sweep = V3{0.13, 0.13, 0.14};
    return s;
  }
  return std::nullopt;
}

void AddFloorBounce(StudioSetup* setup, const V3& albedo) {
  if (!setup->environment.harmonics.empty()) return;
  // A few rounds: the floor's light depends on the scale it sets.
  for (int round = 0; round < 4; ++round) {
    const V3 floorLight = Irradiance(*setup, {0, 1, 0});
    const double intensity = std::max(1e-9, setup->environment.intensity);
    for (size_t c = 0; c < 3; ++c) setup->environment.ground[c] = albedo[c] * floorLight[c] / intensity;
    normalise(setup);
  }
}

V3 EnvironmentIrradiance(const StudioEnvironment& e, const V3& n) {
  if (e.harmonics.size() == 9) {
    // Ramamoorthi and Hanrahan's irradiance from nine coefficients.
    const double c1 = 0.429043, c2 = 0.511664, c3 = 0.743125, c4 = 0.886227, c5 = 0.247708;
    const double x = n[0], y = n[1], z = n[2];
    const auto& L = e.harmonics;
    V3 r{};
    for (int k = 0; k < 3; ++k) {
      const size_t c = static_cast<size_t>(k);
      r[c] = c1 * L[8][c] * (x * x - y * y) + c3 * L[6][c] * z * z + c4 * L[0][c] - c5 * L[6][c] +
             2 * c1 * (L[4][c] * x * y + L[7][c] * x * z + L[5][c] * y * z) +
             2 * c2 * (L[3][c] * x + L[1][c] * y + L[2][c] * z);
      r[c] = std::max(0.0, r[c] / M_PI);
    }
    return r * e.intensity;
  }
  // The upper half (sky to horizon, taken at its mean) and the lower half
  // (the floor) each light the part of the surface's hemisphere they fill.
  const double up = std::clamp(n[1], -1.0, 1.0);
  const V3 upper = (e.sky + e.horizon) * 0.5;
  return (upper * ((1 + up) / 2) + e.ground * ((1 - up) / 2)) * e.intensity;
}

V3 Irradiance(const StudioSetup& s, const V3& n) {
  V3 e = EnvironmentIrradiance(s.environment, n);
  for (const StudioLight& light : s.lights) e = e + light.colour * (light.intensity * std::max(0.0, Dot(n, light.direction)));
  return e;
}

}  // namespace kestrova::studio
