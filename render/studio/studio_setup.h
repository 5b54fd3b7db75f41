#pragma once
// The studio as plain data: its lights and its environment. Built-in setups
// by name; a renderer (ours, or another one rebuilding the scene) reads
// nothing else of the studio.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "render/studio/studio_math.h"

namespace kestrova::studio {

// The floor's frame: y up, the floor at y = 0, the camera on the +z side.
struct StudioLight {
  std::string name;
  V3 direction;      // unit, from the product towards the light
  double distance;   // from the product's centre, in product sizes (its largest extent); light
                     // falls off with the square of the distance, so a face grades across
                     // its width as under a soft box
  double radius;     // of the light's round face, in product sizes
  double intensity;  // irradiance on a surface facing it; white card facing the key shows white
  V3 colour;         // linear RGB, about 1
};

// A soft dome: its colour straight up, at the horizon and from below (the
// floor's bounce).
struct StudioEnvironment {
  V3 sky{1, 1, 1};
  V3 horizon{1, 1, 1};
  V3 ground{0.5, 0.5, 0.5};
  double intensity = 0.3;
  // Set by an HDR picture: irradiance as nine spherical-harmonic
  // coefficients per channel (order 0..2), replacing the dome.
  std::vector<V3> harmonics;
};

struct StudioSetup {
  std::string name;
  std::vector<StudioLight> lights;  // the first is the key, the one light that casts the floor's shadow
  StudioEnvironment environment;
  // The sweep's colour (sRGB, 0 to 1) where the set-up has its own, used
  // when the user names no background.
  std::optional<V3> sweep;
  // A strip light standing on the floor, out of the picture, for a glossy
  // coat to mirror (its brightness as the camera would see it; 0 for none):
  // from the product towards the camera's right, this many product sizes
  // off, so high and so wide.
  double stripBrightness = 0;
  double stripAzimuth = 40;  // degrees from the camera towards the key
  double stripDistance = 1.3, stripWidth = 1.2, stripHeight = 0.7;
};

// "bright", "soft" or "dark"; nothing for another name.
std::optional<StudioSetup> BuiltInStudio(const std::string& name);
const std::vector<std::string>& StudioNames();

// The background a set-up brings with it (the dark one's sweep), as the
// shot's background colour; nothing where the set-up keeps the shot's own.
std::optional<std::array<float, 3>> SetupBackground(const std::string& name);

// How much light a floor of `albedo` (linear RGB) bounces up: the dome's
// ground becomes the floor lit by the studio; the lights are scaled again
// so white card standing turned to the key still shows white. An
// environment from a picture keeps its own ground.
void AddFloorBounce(StudioSetup* setup, const V3& albedo);

// A floor of the background's colour reflects this much of it.
constexpr double kFloorReflectance = 0.8;

// Irradiance from the lights and the dome on a surface facing `normal`
// (unshadowed), per channel.
V3 Irradiance(const StudioSetup& setup, const V3& normal);

// The environment's irradiance alone for `normal`.
V3 EnvironmentIrradiance(const StudioEnvironment& environment, const V3& normal);

}  // namespace kestrova::studio
