#pragma once
// Lighting the studio from an equirectangular HDR picture (Radiance .hdr or
// OpenEXR .exr): its irradiance replaces the studio's dome.
#include <string>
#include <vector>

#include "render/studio/studio_setup.h"

namespace kestrova {
struct FloatPicture;
}

namespace kestrova::studio {

// Reads `path` and sets the setup's environment from it. False, with a
// message naming the file, when it cannot be read or is too large.
// The picture's radiance as nine spherical-harmonic coefficients per
// channel, in the order StudioEnvironment::harmonics keeps.
std::vector<V3> ProjectEnvironment(const FloatPicture& picture);

// Where the picture's brightest light (a sun, a window) stands, as a unit
// direction in the floor's frame, never lower than 20 degrees.
V3 BrightestDirection(const FloatPicture& picture);

bool LightFromEnvironment(const std::string& path, StudioSetup* setup, std::string* error);

}  // namespace kestrova::studio
