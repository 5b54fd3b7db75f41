#pragma once
// Equirectangular HDR pictures that light the studio: Radiance .hdr (through
// stb_image) and OpenEXR .exr (through OpenEXR's own library), as linear
// RGB floats. No Qt, no GL.
#include <string>
#include <vector>

namespace kestrova {

// The largest environment picture read, per side, and in all.
constexpr int kMaxEnvironmentSide = 16384;
constexpr long long kMaxEnvironmentPixels = 8192LL * 4096LL;

struct FloatPicture {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;  // rows top-down, three floats a pixel
};

// Reads `path` by its extension. False, with `error` naming the file and the
// fault (unreadable, broken, oversized, another kind), and `out` untouched.
bool ReadEnvironmentPicture(const std::string& path, FloatPicture* out, std::string* error);

// The same from bytes already read; `exr` picks the format.
bool DecodeEnvironmentPicture(const std::vector<uint8_t>& bytes, bool exr, FloatPicture* out, std::string* why);

}  // namespace kestrova
