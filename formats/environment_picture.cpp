#include "formats/environment_picture.h"

#include <ImfArray.h>
#include <ImfIO.h>
#include <ImfRgbaFile.h>
#include <ImathBox.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>
#include <exception>
#include <memory>

#include "formats/file_names.h"
#include "formats/file_read.h"

namespace kestrova {

namespace {

constexpr uint64_t kMaxEnvironmentBytes = 1024ull * 1024 * 1024;

bool sizeAllowed(long long width, long long height, std::string* why) {
  if (width < 1 || height < 1) {
    *why = "it holds no pixels";
    return false;
  }
  if (width > kMaxEnvironmentSide || height > kMaxEnvironmentSide || width * height > kMaxEnvironmentPixels) {
    *why = "at " + std::to_string(width) + " x " + std::to_string(height) + " it is larger than the " +
           std::to_string(kMaxEnvironmentSide) + " pixels a side and " + std::to_string(kMaxEnvironmentPixels) +
           " pixels in all that are read";
    return false;
  }
  return true;
}

// OpenEXR reading from memory already checked for size.
class MemoryStream : public Imf::IStream {
 public:
  explicit MemoryStream(const std::vector<uint8_t>& bytes) : Imf::IStream("environment"), bytes_(bytes) {}
  bool read(char c[], int n) override {
    if (n < 0 || static_cast<uint64_t>(n) > bytes_.size() - at_) throw std::runtime_error("the file is cut short");
    std::memcpy(c, bytes_.data() + at_, static_cast<size_t>(n));
    at_ += static_cast<uint64_t>(n);
    return at_ < bytes_.size();
  }
  uint64_t tellg() override { return at_; }
  void seekg(uint64_t pos) override {
    if (pos > bytes_.size()) throw std::runtime_error("the file points past its end");
    at_ = pos;
  }
  void clear() override {}

 private:
  const std::vector<uint8_t>& bytes_;
  uint64_t at_ = 0;
};

bool decodeExr(const std::vector<uint8_t>& bytes, FloatPicture* out, std::string* why) {
  try {
    MemoryStream stream(bytes);
    Imf::RgbaInputFile file(stream, 1);
    const Imath::Box2i window = file.dataWindow();
    const long long width = static_cast<long long>(window.max.x) - window.min.x + 1;
    const long long height = static_cast<long long>(window.max.y) - window.min.y + 1;
    if (!sizeAllowed(width, height, why)) return false;
    Imf::Array2D<Imf::Rgba> pixels(height, width);
    file.setFrameBuffer(&pixels[0][0] - window.min.x - window.min.y * width, 1, static_cast<size_t>(width));
    file.readPixels(window.min.y, window.max.y);
    FloatPicture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.rgb.resize(static_cast<size_t>(width * height * 3));
    for (long long y = 0; y < height; ++y) {
      for (long long x = 0; x < width; ++x) {
        const Imf::Rgba& p = pixels[y][x];
        float* o = &picture.rgb[static_cast<size_t>((y * width + x) * 3)];
        o[0] = p.r, o[1] = p.g, o[2] = p.b;
      }
    }
    *out = std::move(picture);
    return true;
  } catch (const std::exception& e) {
    *why = std::string("OpenEXR cannot read it: ") + e.what();
    return false;
  }
}

// stb_image reads past a Radiance file's end as zeros: walk the scanlines
// (flat, or run-length per channel) and refuse a file cut short before it
// is decoded.
bool radianceComplete(const std::vector<uint8_t>& bytes, int width, int height, std::string* why) {
  const uint8_t blank[] = {'\n', '\n'};
  auto at = std::search(bytes.begin(), bytes.end(), std::begin(blank), std::end(blank));
  if (at == bytes.end()) return *why = "its header never ends", false;
  at = std::find(at + 2, bytes.end(), '\n');  // the size line
  if (at == bytes.end()) return *why = "its size line never ends", false;
  size_t p = static_cast<size_t>(at - bytes.begin()) + 1;
  const size_t n = bytes.size();
  auto cut = [why]() { return *why = "it is cut short: its pixels end early", false; };
  for (int y = 0; y < height; ++y) {
    const bool runs = width >= 8 && width < 32768 && n - p >= 4 && bytes[p] == 2 && bytes[p + 1] == 2 &&
                      ((bytes[p + 2] << 8) | bytes[p + 3]) == width;
    if (!runs) {
      const size_t flat = static_cast<size_t>(width) * 4;
      if (flat > n - p) return cut();
      p += flat;
      continue;
    }
    p += 4;
    for (int channel = 0; channel < 4; ++channel) {
      for (int filled = 0; filled < width;) {
        if (p >= n) return cut();
        const int count = bytes[p++];
        if (count > 128) {
          if (p >= n) return cut();
          p += 1;
          filled += count - 128;
        } else {
          if (count == 0 || static_cast<size_t>(count) > n - p) return count == 0 ? (*why = "a run is empty", false) : cut();
          p += static_cast<size_t>(count);
          filled += count;
        }
        if (filled > width) return *why = "a run spills past its scanline", false;
      }
    }
  }
  return true;
}

bool decodeHdr(const std::vector<uint8_t>& bytes, FloatPicture* out, std::string* why) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
    *why = "it is too large";
    return false;
  }
  const auto* data = bytes.data();
  const int length = static_cast<int>(bytes.size());
  if (!stbi_is_hdr_from_memory(data, length)) {
    *why = "it is no Radiance HDR picture";
    return false;
  }
  int width = 0, height = 0, channels = 0;
  // The header alone first: an oversized picture is refused before any
  // memory is set aside for it.
  if (!stbi_info_from_memory(data, length, &width, &height, &channels)) {
    *why = std::string("its header is broken: ") + stbi_failure_reason();
    return false;
  }
  if (!sizeAllowed(width, height, why) || !radianceComplete(bytes, width, height, why)) return false;
  std::unique_ptr<float, void (*)(void*)> pixels(stbi_loadf_from_memory(data, length, &width, &height, &channels, 3),
                                                 stbi_image_free);
  if (!pixels) {
    *why = std::string("it is broken: ") + stbi_failure_reason();
    return false;
  }
  FloatPicture picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.assign(pixels.get(), pixels.get() + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (float v : picture.rgb) {
    if (!std::isfinite(v)) {
      *why = "it holds values that are not numbers";
      return false;
    }
  }
  *out = std::move(picture);
  return true;
}

}  // namespace

bool DecodeEnvironmentPicture(const std::vector<uint8_t>& bytes, bool exr, FloatPicture* out, std::string* why) {
  return exr ? decodeExr(bytes, out, why) : decodeHdr(bytes, out, why);
}

bool ReadEnvironmentPicture(const std::string& path, FloatPicture* out, std::string* error) {
  const bool exr = EndsWithIgnoringCase(path, ".exr");
  if (!exr && !EndsWithIgnoringCase(path, ".hdr")) {
    *error = "cannot light the studio from " + path + ": an environment is a Radiance .hdr or an OpenEXR .exr picture";
    return false;
  }
  std::vector<uint8_t> bytes;
  std::string why;
  if (!ReadRegularFile(path, kMaxEnvironmentBytes, bytes, &why) || !DecodeEnvironmentPicture(bytes, exr, out, &why)) {
    *error = "cannot light the studio from " + path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace kestrova
