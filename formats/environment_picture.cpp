#include "formats/environment_picture.h"

#include <ImfArray.h>
#include <ImfIO.h>
#include <ImfRgbaFile.h>
#include <ImathBox.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// The header of an OpenEXR file, walked by hand before OpenEXR is given
// the file: every attribute's length is checked against the bytes there
// are (the library trusts a string's length and sets memory aside for it
// first), and the picture's size is read, so an oversized one is refused
// from its header alone.
bool exrHeader(const std::vector<uint8_t>& bytes, long long* width, long long* height, std::string* why) {
  const size_t n = bytes.size();
  if (n < 8 || bytes[0] != 0x76 || bytes[1] != 0x2f || bytes[2] != 0x31 || bytes[3] != 0x01) {
    return *why = "it is no OpenEXR picture", false;
  }
  size_t at = 8;
  auto text = [&](size_t* end) {
    const auto* start = bytes.data() + at;
    const auto* zero = static_cast<const uint8_t*>(std::memchr(start, 0, std::min<size_t>(n - at, 256)));
    if (zero == nullptr) return false;
    *end = static_cast<size_t>(zero - bytes.data());
    return true;
  };
  bool found = false;
  for (int attributes = 0; attributes < 1024; ++attributes) {
    if (at >= n) return *why = "its header is cut short", false;
    if (bytes[at] == 0) {
      if (!found) return *why = "its header gives no data window", false;
      return true;
    }
    size_t nameEnd = 0, typeEnd = 0;
    if (!text(&nameEnd)) return *why = "an attribute's name never ends", false;
    const std::string name(reinterpret_cast<const char*>(bytes.data() + at), nameEnd - at);
    at = nameEnd + 1;
    if (at >= n || !text(&typeEnd)) return *why = "the attribute " + name + " has no type", false;
    const std::string type(reinterpret_cast<const char*>(bytes.data() + at), typeEnd - at);
    at = typeEnd + 1;
    if (4 > n - at) return *why = "its header is cut short", false;
    int32_t size = 0;
    std::memcpy(&size, bytes.data() + at, 4);  // little-endian, as this machine
    at += 4;
    if (size < 0 || static_cast<size_t>(size) > n - at) {
      return *why = "the attribute " + name + " claims " + std::to_string(size) + " bytes, more than the file holds", false;
    }
    if (name == "dataWindow" && type == "box2i" && size == 16) {
      int32_t box[4];
      std::memcpy(box, bytes.data() + at, 16);
      *width = static_cast<long long>(box[2]) - box[0] + 1;
      *height = static_cast<long long>(box[3]) - box[1] + 1;
      found = true;
    }
    at += static_cast<size_t>(size);
  }
  return *why = "its header has too many attributes", false;
}

// Lighting needs no more than this many pixels: a larger picture is read
// a band of rows at a time and averaged down, so an 8K sky (or a small
// file that unpacks to one) never sits in memory whole.
constexpr long long kLightingPixels = 2048LL * 1024LL;

bool decodeExr(const std::vector<uint8_t>& bytes, FloatPicture* out, std::string* why) {
  long long width = 0, height = 0;
  if (!exrHeader(bytes, &width, &height, why) || !sizeAllowed(width, height, why)) return false;
  try {
    MemoryStream stream(bytes);
    Imf::RgbaInputFile file(stream, 1);
    const Imath::Box2i window = file.dataWindow();
    if (static_cast<long long>(window.max.x) - window.min.x + 1 != width ||
        static_cast<long long>(window.max.y) - window.min.y + 1 != height) {
      return *why = "its header reads two ways", false;
    }
    int factor = 1;
    while (width * height / (static_cast<long long>(factor) * factor) > kLightingPixels) ++factor;
    FloatPicture picture;
    picture.width = static_cast<int>((width + factor - 1) / factor);
    picture.height = static_cast<int>((height + factor - 1) / factor);
    picture.rgb.assign(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3, 0.0f);
    std::vector<double> sum(static_cast<size_t>(picture.width) * 3), count(static_cast<size_t>(picture.width));
    Imf::Array2D<Imf::Rgba> band(factor, width);
    for (long long y0 = 0; y0 < height; y0 += factor) {
      const long long rows = std::min<long long>(factor, height - y0);
      const long long first = window.min.y + y0;
      // The band's rows land in its own storage, whatever their number.
      // OpenEXR wants the address pixel (0, 0) would have; for a window far
      // from the origin that lies far outside the band, so it is reckoned
      // in plain integers (which wrap), never as a pointer that overflows.
      const uintptr_t origin = reinterpret_cast<uintptr_t>(&band[0][0]) -
                               static_cast<uintptr_t>(window.min.x + first * width) * sizeof(Imf::Rgba);
      file.setFrameBuffer(reinterpret_cast<Imf::Rgba*>(origin), 1, static_cast<size_t>(width));
      file.readPixels(static_cast<int>(first), static_cast<int>(first + rows - 1));
      std::fill(sum.begin(), sum.end(), 0.0);
      std::fill(count.begin(), count.end(), 0.0);
      for (long long r = 0; r < rows; ++r) {
        for (long long x = 0; x < width; ++x) {
          const Imf::Rgba& p = band[r][x];
          const float rgb[3] = {p.r, p.g, p.b};
          for (float v : rgb) {
            if (!std::isfinite(v)) return *why = "it holds values that are not numbers (infinite or NaN)", false;
          }
          const size_t o = static_cast<size_t>(x / factor);
          for (size_t c = 0; c < 3; ++c) sum[o * 3 + c] += rgb[c];
          count[o] += 1;
        }
      }
      float* row = &picture.rgb[static_cast<size_t>(y0 / factor) * static_cast<size_t>(picture.width) * 3];
      for (size_t o = 0; o < count.size(); ++o) {
        for (size_t c = 0; c < 3; ++c) row[o * 3 + c] = static_cast<float>(sum[o * 3 + c] / std::max(1.0, count[o]));
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
      *why = "it holds values that are not numbers (infinite or NaN)";
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
