#include "bmp_export.h"

#include "file_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kestrova {

namespace {

void put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t imageSize(int width, int height) {
  return static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3u;
}

}  // namespace

CapturedFrame CaptureFromRgba(const RgbaImage& image) {
  CapturedFrame frame;
  frame.width = CaptureWidth(image.width);
  frame.height = image.height;
  frame.bgr.resize(static_cast<size_t>(imageSize(frame.width, frame.height)));
  for (int y = 0; y < frame.height; ++y) {
    // The BMP's first row is the bottom of the picture.
    uint8_t* out = frame.bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width) * 3;
    for (int x = 0; x < frame.width; ++x) {
      const uint8_t* in = image.at(x, frame.height - 1 - y);
      out[x * 3 + 0] = in[2];
      out[x * 3 + 1] = in[1];
      out[x * 3 + 2] = in[0];
    }
  }
  return frame;
}

std::array<uint8_t, 40> BitmapInfoHeader(int width, int height) {
  std::array<uint8_t, 40> header{};
  put32(&header[0], 40);
  put32(&header[4], static_cast<uint32_t>(width));
  put32(&header[8], static_cast<uint32_t>(height));  // positive: bottom-up rows
  put16(&header[12], 1);
  put16(&header[14], 24);
  put32(&header[16], 0);
  put32(&header[20], imageSize(width, height));
  // Resolutions and colour counts stay 0.
  return header;
}

std::vector<uint8_t> EncodeDib(const CapturedFrame& frame) {
  const auto header = BitmapInfoHeader(frame.width, frame.height);
  std::vector<uint8_t> dib(header.begin(), header.end());
  dib.insert(dib.end(), frame.bgr.begin(), frame.bgr.end());
  return dib;
}

std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib) {
  std::vector<uint8_t> file(14);
  file[0] = 'B';
  file[1] = 'M';
  put32(&file[2], static_cast<uint32_t>(14 + dib.size()));
  put32(&file[10], 54);
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

std::vector<uint8_t> EncodeBmpFile(const CapturedFrame& frame) { return BmpFileFromDib(EncodeDib(frame)); }

bool WriteBmpFile(const std::string& path, const CapturedFrame& frame, std::string* error) {
  std::string reason;
  if (!ReplaceFile(path, EncodeBmpFile(frame), &reason)) {
    if (error) *error = "Cannot write " + path + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace kestrova
