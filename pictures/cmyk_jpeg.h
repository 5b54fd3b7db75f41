#pragma once
// Print covers: CMYK JPEGs, TIFFs and Photoshop files turned into sRGB
// through LittleCMS, with the profile they carry, or a standard press
// profile when they carry none (or one that cannot be used).
#include <cstdint>
#include <string>
#include <vector>

#include "scene/rgba_image.h"

namespace kestrova {

// The press profile for CMYK pictures that name none (Ghostscript's, from
// Debian's libgs-common).
constexpr const char* kPressProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// The most a picture's pixels may take decoded, whatever its format: a
// 6000-pixel square cover takes 144 MB, a 16000-pixel claim 1 GB.
constexpr uint64_t kMaxPictureMemory = 256ull * 1024 * 1024;
// The refusal of a picture of width x height pixels past kMaxPictureMemory,
// or empty when it fits.
std::string PictureTooLarge(const std::string& name, uint64_t width, uint64_t height);

// Whether a JPEG's frame has four components (CMYK or YCCK), from its
// markers alone.
bool IsCmykJpeg(const std::vector<uint8_t>& bytes);
// Whether a TIFF holds 8-bit CMYK in strips: the layout press tools write.
bool IsCmykTiff(const std::vector<uint8_t>& bytes);
// Keeps libtiff's warnings (any reader's, Qt's too) off the terminal.
void QuietTiffWarnings();

// Turns top-down RGBA pixels described by the ICC profile `profile` into
// sRGB in place. False (pixels untouched) when the profile is not an RGB one
// LittleCMS can use.
bool ConvertRgbToSrgb(const std::vector<uint8_t>& profile, uint8_t* rgba, size_t pixels);

struct CmykPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> cmyk;     // four bytes a pixel, top-down
  std::vector<uint8_t> profile;  // its own ICC profile, if any
  bool inverted = false;         // Adobe's JPEGs: 0 is full ink
  int orientation = 1;           // EXIF's, 1 to 8
};

// Inks to sRGB, opaque RGBA, through the picture's own CMYK profile, or the
// press profile when it has none; `note` says so when it had one that could
// not be used.
bool CmykToSrgb(const CmykPicture& picture, RgbaImage* image, std::string* error, std::string* note);

// Decodes a CMYK JPEG or TIFF to sRGB, top-down RGBA, stood up by its EXIF
// orientation. False with `error`; `note` as CmykToSrgb.
bool DecodeCmykJpeg(const std::vector<uint8_t>& bytes, RgbaImage* image, std::string* error,
                    std::string* note = nullptr);
bool DecodeCmykTiff(const std::vector<uint8_t>& bytes, RgbaImage* image, std::string* error,
                    std::string* note = nullptr);

// The orientation an Exif block (APP1's body past "Exif\0\0") gives, 1 when
// none.
int ExifOrientation(const uint8_t* exif, size_t size);
// Pixels stood up as EXIF's orientation 1 to 8 says the camera held them.
RgbaImage Oriented(const RgbaImage& stored, int orientation);

}  // namespace kestrova
