#pragma once
// The little linear algebra the studio needs: column-major 4 x 4 matrices
// as the GL takes them, and 3-vectors.
#include <array>
#include <cmath>

namespace kestrova::studio {

using V3 = std::array<double, 3>;

inline V3 operator+(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline V3 operator-(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline V3 operator*(const V3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline V3 Cross(const V3& a, const V3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double Length(const V3& a) { return std::sqrt(Dot(a, a)); }
inline V3 Normalized(const V3& a) {
  const double l = Length(a);
  return l > 0 ? a * (1.0 / l) : V3{0, 0, 0};
}

// m[column * 4 + row].
struct Mat4 {
  std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  static Mat4 Translation(const V3& t) {
    Mat4 r;
    r.m[12] = t[0];
    r.m[13] = t[1];
    r.m[14] = t[2];
    return r;
  }
  // Degrees about a unit axis, as glRotate turns.
  static Mat4 Rotation(double degrees, const V3& axis) {
    const double a = degrees * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a), t = 1 - c;
    const double x = axis[0], y = axis[1], z = axis[2];
    Mat4 r;
    r.m = {t * x * x + c,     t * x * y + s * z, t * x * z - s * y, 0,
           t * x * y - s * z, t * y * y + c,     t * y * z + s * x, 0,
           t * x * z + s * y, t * y * z - s * x, t * z * z + c,     0,
           0,                 0,                 0,                 1};
    return r;
  }
  static Mat4 Frustum(double l, double r, double b, double t, double n, double f) {
    Mat4 p;
    p.m = {2 * n / (r - l), 0, 0, 0, 0, 2 * n / (t - b), 0, 0, (r + l) / (r - l), (t + b) / (t - b),
           -(f + n) / (f - n), -1, 0, 0, -2 * f * n / (f - n), 0};
    return p;
  }
  static Mat4 Ortho(double l, double r, double b, double t, double n, double f) {
    Mat4 p;
    p.m = {2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, -2 / (f - n), 0,
           -(r + l) / (r - l), -(t + b) / (t - b), -(f + n) / (f - n), 1};
    return p;
  }
  // A camera at `eye` looking at `target`, `up` roughly up.
  static Mat4 LookAt(const V3& eye, const V3& target, const V3& up) {
    const V3 f = Normalized(target - eye);
    const V3 s = Normalized(Cross(f, up));
    const V3 u = Cross(s, f);
    Mat4 r;
    r.m = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0,
           -Dot(s, eye), -Dot(u, eye), Dot(f, eye), 1};
    return r;
  }

  Mat4 operator*(const Mat4& b) const {
    Mat4 r;
    for (int c = 0; c < 4; ++c) {
      for (int row = 0; row < 4; ++row) {
        double sum = 0;
        for (int k = 0; k < 4; ++k) sum += m[k * 4 + row] * b.m[c * 4 + k];
        r.m[c * 4 + row] = sum;
      }
    }
    return r;
  }
  V3 point(const V3& p) const {
    return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
            m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
  }
  // The point in homogeneous coordinates (w kept), as a projection gives it.
  std::array<double, 4> apply4(const V3& p) const {
    std::array<double, 4> r{};
    for (size_t row = 0; row < 4; ++row) r[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
    return r;
  }
    V3 direction(const V3& d) const {
    return {m[0] * d[0] + m[4] * d[1] + m[8] * d[2], m[1] * d[0] + m[5] * d[1] + m[9] * d[2],
            m[2] * d[0] + m[6] * d[1] + m[10] * d[2]};
  }
  std::array<float, 16> floats() const {
    std::array<float, 16> f{};
    for (size_t i = 0; i < 16; ++i) f[i] = static_cast<float>(m[i]);
    return f;
  }
};

}  // namespace kestrova::studio
