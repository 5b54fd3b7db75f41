#include "render/studio/mipmaps.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kestrova::studio {

namespace {

constexpr int kEncodeSteps = 4096;

const std::array<float, 256>& decodeTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      t[static_cast<size_t>(i)] = static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return t;
  }();
  return table;
}

// Linear light in steps of 1/4095 to the nearest sRGB byte: fine enough
// that no byte is missed in the darks, where sRGB's steps are smallest.
const std::array<uint8_t, kEncodeSteps>& encodeTable() {
  static const std::array<uint8_t, kEncodeSteps> table = [] {
    std::array<uint8_t, kEncodeSteps> t{};
    const auto& decode = decodeTable();
    for (int i = 0; i < kEncodeSteps; ++i) {
      const float v = static_cast<float>(i) / (kEncodeSteps - 1);
      // The byte whose own linear value lies nearest.
      const auto upper = std::lower_bound(decode.begin(), decode.end(), v);
      size_t best = static_cast<size_t>(upper - decode.begin());
      if (best == decode.size() || (best > 0 && v - decode[best - 1] < decode[best] - v)) --best;
      t[static_cast<size_t>(i)] = static_cast<uint8_t>(best);
    }
    return t;
  }();
  return table;
}

}  // namespace

RgbaImage HalvedInLinearLight(const RgbaImage& level) {
  RgbaImage half;
  half.width = std::max(1, level.width / 2);
  half.height = std::max(1, level.height / 2);
  half.pixels.resize(static_cast<size_t>(half.width) * static_cast<size_t>(half.height) * 4);
  if (level.width < 1 || level.height < 1) return half;
  const auto& decode = decodeTable();
  const auto& encode = encodeTable();
  uint8_t* out = half.pixels.data();
  for (int y = 0; y < half.height; ++y) {
    const int y0 = std::min(2 * y, level.height - 1), y1 = std::min(2 * y + 1, level.height - 1);
    for (int x = 0; x < half.width; ++x, out += 4) {
      const int x0 = std::min(2 * x, level.width - 1), x1 = std::min(2 * x + 1, level.width - 1);
      const uint8_t* p[4] = {level.at(x0, y0), level.at(x1, y0), level.at(x0, y1), level.at(x1, y1)};
      for (int c = 0; c < 3; ++c) {
        const float mean = (decode[p[0][c]] + decode[p[1][c]] + decode[p[2][c]] + decode[p[3][c]]) * 0.25f;
        out[c] = encode[static_cast<size_t>(mean * (kEncodeSteps - 1) + 0.5f)];  // never negative: truncating rounds
      }
      out[3] = static_cast<uint8_t>((p[0][3] + p[1][3] + p[2][3] + p[3][3] + 2) / 4);
    }
  }
  return half;
}

}  // namespace kestrova::studio
