#pragma once
// Print covers: CMYK JPEGs turned into sRGB through LittleCMS, with the
// profile they carry, or a standard press profile when they carry none.
#include <cstdint>
#include <string>
#include <vector>

#include "scene/rgba_image.h"

namespace kestrova {

// The press profile for CMYK pictures that name none (Ghostscript's, from
// Debian's libgs-common).
constexpr const char* kPressProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// Whether a JPEG's frame has four components (CMYK or YCCK), from its
// markers alone.
bool IsCmykJpeg(const std::vector<uint8_t>& bytes);

// Turns top-down RGBA pixels described by the ICC profile `profile` into
// sRGB in place. False (pixels untouched) when the profile is not an RGB one
// LittleCMS can use.
bool ConvertRgbToSrgb(const std::vector<uint8_t>& profile, uint8_t* rgba, size_t pixels);

// Decodes a CMYK JPEG to sRGB, top-down RGBA. False with `error`.
bool DecodeCmykJpeg(const std::vector<uint8_t>& bytes, RgbaImage* image, std::string* error);

}  // namespace kestrova
