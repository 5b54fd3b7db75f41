#pragma once
// Lighting the studio from an equirectangular HDR picture (Radiance .hdr or
// OpenEXR .exr): its irradiance replaces the studio's dome.
#include <string>

#include "render/studio/studio_setup.h"

namespace kestrova::studio {

// The largest environment picture taken, per side.
constexpr int kMaxEnvironmentSide = 16384;

// Reads `path` and sets the setup's environment from it. False, with a
// message naming the file, when it cannot be read or is too large.
bool LightFromEnvironment(const std::string& path, StudioSetup* setup, std::string* error);

}  // namespace kestrova::studio
