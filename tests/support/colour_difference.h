#pragma once
// Colours as a person compares them: sRGB bytes to CIELAB (D65), and the
// CIEDE2000 colour difference (Sharma, Wu and Dalal, 2005).
#include <array>
#include <cmath>
#include <cstdint>

namespace kestrova::test {

inline std::array<double, 3> SrgbToLab(const uint8_t* rgb) {
  double linear[3];
  for (int c = 0; c < 3; ++c) {
    const double v = rgb[c] / 255.0;
    linear[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  }
  const double xyz[3] = {(0.4124 * linear[0] + 0.3576 * linear[1] + 0.1805 * linear[2]) / 0.95047,
                         0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2],
                         (0.0193 * linear[0] + 0.1192 * linear[1] + 0.9505 * linear[2]) / 1.08883};
  double f[3];
  for (int c = 0; c < 3; ++c) f[c] = xyz[c] > 0.008856 ? std::cbrt(xyz[c]) : 7.787 * xyz[c] + 16.0 / 116.0;
  return {116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])};
}

// Hues in degrees, as the paper writes its equations.
inline double DeltaE2000(const std::array<double, 3>& lab1, const std::array<double, 3>& lab2) {
  const double pi = 3.14159265358979323846;
  auto deg = [pi](double r) { return r * 180 / pi; };
  auto rad = [pi](double d) { return d * pi / 180; };
  const double c1 = std::hypot(lab1[1], lab1[2]), c2 = std::hypot(lab2[1], lab2[2]);
  const double cMean = (c1 + c2) / 2;
  const double g = 0.5 * (1 - std::sqrt(std::pow(cMean, 7) / (std::pow(cMean, 7) + std::pow(25.0, 7))));
  const double a1 = (1 + g) * lab1[1], a2 = (1 + g) * lab2[1];
  const double cp1 = std::hypot(a1, lab1[2]), cp2 = std::hypot(a2, lab2[2]);
  auto hue = [&deg](double b, double a) {
    if (a == 0 && b == 0) return 0.0;
    const double h = deg(std::atan2(b, a));
    return h < 0 ? h + 360 : h;
  };
  const double h1 = hue(lab1[2], a1), h2 = hue(lab2[2], a2);
  const double dL = lab2[0] - lab1[0], dC = cp2 - cp1;
  double dh = 0;
  if (cp1 * cp2 != 0) {
    dh = h2 - h1;
    if (dh > 180) dh -= 360;
    if (dh < -180) dh += 360;
  }
  const double dH = 2 * std::sqrt(cp1 * cp2) * std::sin(rad(dh / 2));
  const double lMean = (lab1[0] + lab2[0]) / 2, cpMean = (cp1 + cp2) / 2;
  double hMean = h1 + h2;
  if (cp1 * cp2 != 0) {
    if (std::fabs(h1 - h2) <= 180) {
      hMean = (h1 + h2) / 2;
    } else {
      hMean = (h1 + h2 < 360 ? h1 + h2 + 360 : h1 + h2 - 360) / 2;
    }
  }
  const double t = 1 - 0.17 * std::cos(rad(hMean - 30)) + 0.24 * std::cos(rad(2 * hMean)) +
                   0.32 * std::cos(rad(3 * hMean + 6)) - 0.20 * std::cos(rad(4 * hMean - 63));
  const double dTheta = 30 * std::exp(-std::pow((hMean - 275) / 25, 2));
  const double rc = 2 * std::sqrt(std::pow(cpMean, 7) / (std::pow(cpMean, 7) + std::pow(25.0, 7)));
  const double sl = 1 + 0.015 * std::pow(lMean - 50, 2) / std::sqrt(20 + std::pow(lMean - 50, 2));
  const double sc = 1 + 0.045 * cpMean, sh = 1 + 0.015 * cpMean * t;
  const double rt = -std::sin(rad(2 * dTheta)) * rc;
  return std::sqrt(std::pow(dL / sl, 2) + std::pow(dC / sc, 2) + std::pow(dH / sh, 2) + rt * (dC / sc) * (dH / sh));
}

}  // namespace kestrova::test
