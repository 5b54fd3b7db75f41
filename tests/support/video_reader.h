#pragma once
// Videos read back with FFmpeg's libraries, for the tests of the export.
#include <string>

#include "scene/rgba_image.h"

namespace kestrova::test {

struct VideoInfo {
  int frames = 0;
  int width = 0;
  int height = 0;
  double fps = 0;
  bool alphaTagged = false;  // the container says the frames carry alpha
  bool alphaPlane = false;   // the decoded frames have an alpha plane
};

// Counts the frames by decoding them all; `keep` (0-based) is returned as
// RGBA in `kept` when given.
// VP9 is decoded with libvpx, which reads a WebM's alpha; `kept` then holds
// it in its fourth channel.
VideoInfo ReadVideo(const std::string& path, int keep = -1, RgbaImage* kept = nullptr);

}  // namespace kestrova::test
