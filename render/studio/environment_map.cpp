#include "render/studio/environment_map.h"

namespace kestrova::studio {

bool LightFromEnvironment(const std::string& path, StudioSetup*, std::string* error) {
  *error = "cannot light the studio from " + path + ": environment pictures are not read yet";
  return false;
}

}  // namespace kestrova::studio
