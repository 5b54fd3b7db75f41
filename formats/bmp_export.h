#pragma once
// Captured frames as 24-bit bottom-up BMP data.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/rgba_image.h"

namespace kestrova {

// A frame as the BMP and clipboard outputs want it: width rounded down to a
// multiple of 4 (so 24-bit rows need no padding), rows bottom-up, B, G, R.
struct CapturedFrame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;
};

inline int CaptureWidth(int clientWidth) { return clientWidth < 0 ? 0 : clientWidth - clientWidth % 4; }

// From top-down RGBA pixels of the client area.
CapturedFrame CaptureFromRgba(const RgbaImage& image);

// The 40-byte bitmap information header.
std::array<uint8_t, 40> BitmapInfoHeader(int width, int height);

// The 14-byte file header, the information header and the pixels.
std::vector<uint8_t> EncodeBmpFile(const CapturedFrame& frame);

// A 24-bit DIB (the 40-byte header and the pixels) with the file header
// that BMP readers need in front of it.
std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib);

// The information header and the pixels, as the clipboard carries them.
std::vector<uint8_t> EncodeDib(const CapturedFrame& frame);

// Writes the file through a temporary that replaces `path` only when complete.
bool WriteBmpFile(const std::string& path, const CapturedFrame& frame, std::string* error);

}  // namespace kestrova
