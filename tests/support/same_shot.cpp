#include "tests/support/same_shot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kestrova::test {

namespace {

// Each output pixel's share of the input pixels under it, along one axis.
struct Span {
  int first, last;
  std::vector<double> weights;
};

std::vector<Span> spans(int from, int to) {
  std::vector<Span> out(static_cast<size_t>(to));
  const double step = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    const double a = i * step, b = (i + 1) * step;
    Span& s = out[static_cast<size_t>(i)];
    s.first = static_cast<int>(std::floor(a));
    s.last = std::min(from - 1, static_cast<int>(std::ceil(b)) - 1);
    for (int k = s.first; k <= s.last; ++k) s.weights.push_back(std::min<double>(b, k + 1) - std::max<double>(a, k));
  }
  return out;
}

double luma(const uint8_t* p) {
  const double a = p[3] / 255.0;
  auto over = [a](uint8_t c) { return c * a + 255.0 * (1 - a); };
  return 0.299 * over(p[0]) + 0.587 * over(p[1]) + 0.114 * over(p[2]);
}

}  // namespace

RgbaImage Resample(const RgbaImage& image, int width, int height) {
  RgbaImage out;
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
  const std::vector<Span> xs = spans(image.width, width), ys = spans(image.height, height);
  for (int y = 0; y < height; ++y) {
    const Span& sy = ys[static_cast<size_t>(y)];
    for (int x = 0; x < width; ++x) {
      const Span& sx = xs[static_cast<size_t>(x)];
      double sum[4] = {0, 0, 0, 0}, area = 0;
      for (int j = sy.first; j <= sy.last; ++j) {
        for (int i = sx.first; i <= sx.last; ++i) {
          const double w = sy.weights[static_cast<size_t>(j - sy.first)] * sx.weights[static_cast<size_t>(i - sx.first)];
          const uint8_t* p = image.at(i, j);
          const double alpha = p[3] * w;
          for (int c = 0; c < 3; ++c) sum[c] += p[c] * alpha;
          sum[3] += alpha;
          area += w;
        }
      }
      uint8_t* o = out.pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
      for (int c = 0; c < 3; ++c) o[c] = static_cast<uint8_t>(sum[3] > 0 ? std::lround(sum[c] / sum[3]) : 0);
      o[3] = static_cast<uint8_t>(std::lround(sum[3] / area));
    }
  }
  return out;
}

Outline OutlineOf(const RgbaImage& image) {
  Outline o;
  if (image.width < 1 || image.height < 1) return o;
  const uint8_t* corner = image.at(0, 0);
  const bool clear = corner[3] == 0;
  const double background = luma(corner);
  int left = image.width, right = -1, top = image.height, bottom = -1;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.at(x, y);
      const bool shows = clear ? p[3] > 64 : std::fabs(luma(p) - background) > 24;
      if (!shows) continue;
      left = std::min(left, x), right = std::max(right, x + 1);
      top = std::min(top, y), bottom = std::max(bottom, y + 1);
    }
  }
  if (right < 0) return o;
  o.left = static_cast<double>(left) / image.width;
  o.right = static_cast<double>(right) / image.width;
  o.top = static_cast<double>(top) / image.height;
  o.bottom = static_cast<double>(bottom) / image.height;
  return o;
}

double LumaSsim(const RgbaImage& a, const RgbaImage& b) {
  constexpr int kWindow = 8, kStep = 4;
  constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  double total = 0;
  int windows = 0;
  for (int y = 0; y + kWindow <= a.height; y += kStep) {
    for (int x = 0; x + kWindow <= a.width; x += kStep) {
      double ma = 0, mb = 0, va = 0, vb = 0, cov = 0;
      constexpr double n = kWindow * kWindow;
      for (int j = 0; j < kWindow; ++j) {
        for (int i = 0; i < kWindow; ++i) ma += luma(a.at(x + i, y + j)), mb += luma(b.at(x + i, y + j));
      }
      ma /= n, mb /= n;
      for (int j = 0; j < kWindow; ++j) {
        for (int i = 0; i < kWindow; ++i) {
          const double da = luma(a.at(x + i, y + j)) - ma, db = luma(b.at(x + i, y + j)) - mb;
          va += da * da, vb += db * db, cov += da * db;
        }
      }
      va /= n - 1, vb /= n - 1, cov /= n - 1;
      total += (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++windows;
    }
  }
  return windows ? total / windows : 0;
}

::testing::AssertionResult IsTheSmallShotEnlarged(const RgbaImage& small, const RgbaImage& large) {
  if (small.pixels.empty() || large.pixels.empty()) return ::testing::AssertionFailure() << "a picture is missing";
  const RgbaImage shrunk = Resample(large, small.width, small.height);
  const Outline want = OutlineOf(small), got = OutlineOf(shrunk);
  char text[256];
  if (!want.found()) return ::testing::AssertionFailure() << "the small picture shows nothing";
  if (!got.found()) return ::testing::AssertionFailure() << "the large picture shows nothing but its background";
  const double off = std::max({std::fabs(want.left - got.left), std::fabs(want.right - got.right),
                               std::fabs(want.top - got.top), std::fabs(want.bottom - got.bottom)});
  std::snprintf(text, sizeof text, "outline x %.3f-%.3f y %.3f-%.3f, the small one's x %.3f-%.3f y %.3f-%.3f", got.left,
                got.right, got.top, got.bottom, want.left, want.right, want.top, want.bottom);
  // A pixel of the small picture either way: its edge may round either way.
  const double slack = std::max(0.01, 1.0 / std::min(small.width, small.height));
  if (off > slack) return ::testing::AssertionFailure() << text;
  const double ssim = LumaSsim(small, shrunk);
  if (ssim < 0.97) return ::testing::AssertionFailure() << "SSIM " << ssim << " under 0.97; " << text;
  return ::testing::AssertionSuccess();
}

}  // namespace kestrova::test
