#include "render/classic/classic_floor.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "render/classic/feedback_polygons.h"

namespace kestrova {

namespace {

// Eye coordinates within +-kReach map linearly to window coordinates in the
// feedback pass; no product comes near it.
constexpr float kReach = 10000.0f;

// Kawase blur: each pass averages four bilinear taps at these offsets (in
// texels, plus a half); together they reach sum(offset + 1) texels.
constexpr int kBlurOffsets[] = {0, 1, 2};
constexpr int kBlurReachTexels = 1 + 2 + 3;

// The reflection fades to nothing over this share of the product's height.
constexpr float kReflectionDepth = 0.4f;

// Column-major 4 x 4 matrices, as the GL takes them.
using Matrix = std::array<GLfloat, 16>;

Matrix identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// Eye y becomes a * y + b; x and z stay.
Matrix eyeHeightMap(float a, float b) {
  Matrix m = identity();
  m[5] = a;
  m[13] = b;
  return m;
}

// Pixels of the viewport, x and y from its lower left corner; may reach past it.
struct Region {
  float x = 0, y = 0, w = 0, h = 0;
};

// The viewport's normalised device coordinates to those of `region`, so a
// texture of the region holds what the viewport would show there.
Matrix regionMap(const Region& region, const GLint viewport[4]) {
  const float vw = static_cast<float>(viewport[2]);
  const float vh = static_cast<float>(viewport[3]);
  const float sx = region.w / vw;
  const float sy = region.h / vh;
  const float cx = (region.x + region.w / 2) / vw * 2 - 1;
  const float cy = (region.y + region.h / 2) / vh * 2 - 1;
  Matrix m = identity();
  m[0] = 1 / sx;
  m[12] = -cx / sx;
  m[5] = 1 / sy;
  m[13] = -cy / sy;
  return m;
}

// Where the eye-space box [lo, hi] falls on the viewport, or the whole
// viewport when part of it lies behind the eye.
Region screenRegion(const std::array<GLfloat, 16>& p, const float lo[3], const float hi[3], const GLint viewport[4]) {
  const Region whole{0, 0, static_cast<float>(viewport[2]), static_cast<float>(viewport[3])};
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const float v[3] = {(corner & 1) ? hi[0] : lo[0], (corner & 2) ? hi[1] : lo[1], (corner & 4) ? hi[2] : lo[2]};
    const float cx = p[0] * v[0] + p[4] * v[1] + p[8] * v[2] + p[12];
    const float cy = p[1] * v[0] + p[5] * v[1] + p[9] * v[2] + p[13];
    const float cw = p[3] * v[0] + p[7] * v[1] + p[11] * v[2] + p[15];
    if (!(cw > 1e-6f)) return whole;
    const float x = (cx / cw + 1) / 2 * static_cast<float>(viewport[2]);
    const float y = (cy / cw + 1) / 2 * static_cast<float>(viewport[3]);
    minX = corner == 0 ? x : std::min(minX, x);
    maxX = corner == 0 ? x : std::max(maxX, x);
    minY = corner == 0 ? y : std::min(minY, y);
    maxY = corner == 0 ? y : std::max(maxY, y);
  }
  return {std::floor(minX), std::floor(minY), std::ceil(maxX) - std::floor(minX) + 1,
          std::ceil(maxY) - std::floor(minY) + 1};
}

Region clipped(const Region& r, const GLint viewport[4]) {
  const float x0 = std::max(r.x, 0.0f);
  const float y0 = std::max(r.y, 0.0f);
  const float x1 = std::min(r.x + r.w, static_cast<float>(viewport[2]));
  const float y1 = std::min(r.y + r.h, static_cast<float>(viewport[3]));
  return {x0, y0, std::max(0.0f, x1 - x0), std::max(0.0f, y1 - y0)};
}

// Draws `texture` over `region` of the bound viewport with the blending set.
void drawOver(const Region& region, const GLint viewport[4], float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double vw = viewport[2];
  const double vh = viewport[3];
  glOrtho(-region.x / region.w, (vw - region.x) / region.w, -region.y / region.h, (vh - region.y) / region.h, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glBegin(GL_QUADS);
  glTexCoord2f(u0, v0);
  glVertex2f(0, 0);
  glTexCoord2f(u1, v0);
  glVertex2f(1, 0);
  glTexCoord2f(u1, v1);
  glVertex2f(1, 1);
  glTexCoord2f(u0, v1);
  glVertex2f(0, 1);
  glEnd();
}

void setProjection(const Matrix& ndc, const Matrix& projection, const Matrix& eye) {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(ndc.data());
  glMultMatrixf(projection.data());
  glMultMatrixf(eye.data());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// A texture the floor draws into, with its framebuffer and, where the
// product's own faces must hide each other, a depth buffer.
class Target {
 public:
  Target(int width, int height, GLenum format, bool depth) : width_(width), height_(height) {
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    if (depth) {
      glGenRenderbuffers(1, &depth_);
      glBindRenderbuffer(GL_RENDERBUFFER, depth_);
      glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_);
    }
    complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }
  ~Target() {
    glDeleteFramebuffers(1, &framebuffer_);
    if (depth_) glDeleteRenderbuffers(1, &depth_);
    glDeleteTextures(1, &texture_);
  }
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;

  bool complete() const { return complete_; }
  GLuint texture() const { return texture_; }
  // Binds it, clears it to transparent black and draws into all of it.
  void begin() const {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width_, height_);
    glClearColor(0, 0, 0, 0);
    // The product draws with depth writes on, whatever the floor's own
    // drawing left.
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | (depth_ ? GL_DEPTH_BUFFER_BIT : 0));
  }

 private:
  int width_;
  int height_;
  GLuint texture_ = 0;
  GLuint framebuffer_ = 0;
  GLuint depth_ = 0;
  bool complete_ = false;
};

// Flat drawing of textures over the bound framebuffer: no depth, no light.
void flatState() {
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_BLEND);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The unit square, its texture coordinates [u0, u1] x [v0, v1] moved by (du, dv).
void texturedSquare(float u0, float v0, float u1, float v1, float du = 0, float dv = 0) {
  glBegin(GL_QUADS);
  glTexCoord2f(u0 + du, v0 + dv);
  glVertex2f(0, 0);
  glTexCoord2f(u1 + du, v0 + dv);
  glVertex2f(1, 0);
  glTexCoord2f(u1 + du, v1 + dv);
  glVertex2f(1, 1);
  glTexCoord2f(u0 + du, v1 + dv);
  glVertex2f(0, 1);
  glEnd();
}

Matrix currentProjection() {
  Matrix m{};
  glGetFloatv(GL_PROJECTION_MATRIX, m.data());
  return m;
}

float productHeight(const EyeBounds& b) { return std::max(b.max[1] - b.min[1], 1e-3f); }

// How far the shadow's edge fades on the floor, in eye units.
float shadowReach(const StudioFloor& floor, const EyeBounds& bounds) {
  const float share = static_cast<float>(std::clamp(floor.softness, 0, 100)) / 100.0f;
  return std::max(share, 0.01f) * 0.5f * productHeight(bounds);
}

void drawShadow(const StudioFloor& floor, const EyeBounds& bounds, const Matrix& projection, const GLint viewport[4],
                GLint screen, const std::function<void()>& drawProduct) {
  // The floor around the footprint, seen from straight above, in texels
  // small enough for the blur to reach as far as the fade asks.
  const float reach = shadowReach(floor, bounds);
  const float x0 = bounds.min[0] - reach * 1.1f;
  const float z0 = bounds.min[2] - reach * 1.1f;
  const float spanX = bounds.max[0] - bounds.min[0] + reach * 2.2f;
  const float spanZ = bounds.max[2] - bounds.min[2] + reach * 2.2f;
  constexpr float kLargestSide = 1024;
  const float texel = std::max({reach / kBlurReachTexels, spanX / kLargestSide, spanZ / kLargestSide});
  const int tw = std::max(1, static_cast<int>(std::ceil(spanX / texel)));
  const int th = std::max(1, static_cast<int>(std::ceil(spanZ / texel)));
  const float x1 = x0 + static_cast<float>(tw) * texel;
  const float z1 = z0 + static_cast<float>(th) * texel;

  // Float textures keep the blurred edge smooth: eight bits would band.
  Target mask(tw, th, GL_RGBA16F, false);
  Target blurred(tw, th, GL_RGBA16F, false);
  if (!mask.complete() || !blurred.complete()) return;

  // The footprint: eye x across the texture, eye z up it, height dropped.
  mask.begin();
  Matrix above{};
  above[0] = 2 / (x1 - x0);
  above[12] = -(x1 + x0) / (x1 - x0);
  above[9] = 2 / (z1 - z0);
  above[13] = -(z1 + z0) / (z1 - z0);
  above[15] = 1;
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(above.data());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  drawProduct();

  flatState();
  glBlendFunc(GL_ONE, GL_ONE);
  const Target* from = &mask;
  const Target* to = &blurred;
  for (int offset : kBlurOffsets) {
    to->begin();
    glBindTexture(GL_TEXTURE_2D, from->texture());
    glColor4f(0.25f, 0.25f, 0.25f, 0.25f);
    const float du = (static_cast<float>(offset) + 0.5f) / static_cast<float>(tw);
    const float dv = (static_cast<float>(offset) + 0.5f) / static_cast<float>(th);
    for (const float sx : {-1.0f, 1.0f}) {
      for (const float sy : {-1.0f, 1.0f}) texturedSquare(0, 0, 1, 1, sx * du, sy * dv);
    }
    std::swap(from, to);
  }

  // The floor itself, in the view's projection: black of the blurred
  // footprint's coverage over the background.
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(screen));
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  glBindTexture(GL_TEXTURE_2D, from->texture());
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0, 0, 0, static_cast<float>(std::clamp(floor.shadowStrength, 0, 100)) / 100.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(projection.data());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const float y = bounds.min[1];
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex3f(x0, y, z0);
  glTexCoord2f(1, 0);
  glVertex3f(x1, y, z0);
  glTexCoord2f(1, 1);
  glVertex3f(x1, y, z1);
  glTexCoord2f(0, 1);
  glVertex3f(x0, y, z1);
  glEnd();
}

void drawReflection(const StudioFloor& floor, const EyeBounds& bounds, const Matrix& projection,
                    const GLint viewport[4], GLint screen, const std::function<void()>& drawProduct) {
  const float depth = kReflectionDepth * productHeight(bounds);
  // What can show of the mirror image: from the floor down to the fade depth.
  const float lo[3] = {bounds.min[0], bounds.min[1] - depth, bounds.min[2]};
  const float hi[3] = {bounds.max[0], bounds.min[1], bounds.max[2]};
  const Region region = clipped(screenRegion(projection, lo, hi, viewport), viewport);
  if (region.w < 1 || region.h < 1) return;
  Target mirror(static_cast<int>(region.w), static_cast<int>(region.h), GL_RGBA8, true);
  if (!mirror.complete()) return;
  // Fade with height above the floor: 1 at the floor, 0 at the fade depth,
  // on every channel, so the mirror image holds premultiplied colour.
  constexpr int kFadeTexels = 256;
  std::vector<uint8_t> ramp(kFadeTexels * 4);
  for (int i = 0; i < kFadeTexels; ++i) {
    const float t = 1.0f - static_cast<float>(i) / (kFadeTexels - 1);
    const auto value = static_cast<uint8_t>(std::lround(255.0f * t * t));
    for (int c = 0; c < 4; ++c) ramp[static_cast<size_t>(i * 4 + c)] = value;
  }
  GLuint fadeTexture = 0;
  glActiveTexture(GL_TEXTURE1);
  glGenTextures(1, &fadeTexture);
  glBindTexture(GL_TEXTURE_1D, fadeTexture);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA8, kFadeTexels, 0, GL_RGBA, GL_UNSIGNED_BYTE, ramp.data());
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  // With the identity modelview the plane is in eye coordinates.
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const GLfloat plane[4] = {0, 1.0f / depth, 0, -bounds.min[1] / depth};
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
  glTexGenfv(GL_S, GL_EYE_PLANE, plane);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_1D);
  glActiveTexture(GL_TEXTURE0);

  // Mirrored in the floor: eye y becomes 2 floor - y.
  mirror.begin();
  setProjection(regionMap(region, viewport), projection, eyeHeightMap(-1, 2 * bounds.min[1]));
  drawProduct();

  glActiveTexture(GL_TEXTURE1);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_GEN_S);
  glBindTexture(GL_TEXTURE_1D, 0);
  glDeleteTextures(1, &fadeTexture);
  glActiveTexture(GL_TEXTURE0);

  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(screen));
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  flatState();
  glBindTexture(GL_TEXTURE_2D, mirror.texture());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  const float strength = static_cast<float>(std::clamp(floor.reflectionStrength, 0, 100)) / 100.0f;
  glColor4f(strength, strength, strength, strength);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  drawOver(region, viewport);
}

}  // namespace

EyeBounds ProductEyeBounds(const std::function<void()>& drawProduct) {
  EyeBounds bounds;
  GLint viewport[4] = {0, 0, 1, 1};
  glGetIntegerv(GL_VIEWPORT, viewport);
  // Kept between frames: the product's size seldom changes.
  static std::vector<GLfloat> buffer(1 << 18);
  GLint values = -1;
  {
    const EyeSpaceCapture eyeSpace(kReach, false);
    for (int attempt = 0; attempt < 8 && values < 0; ++attempt) {
      glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
      glRenderMode(GL_FEEDBACK);
      drawProduct();
      values = glRenderMode(GL_RENDER);
      if (values < 0) buffer.resize(buffer.size() * 4);
    }
  }
  if (values <= 0) return bounds;

  auto vertex = [&](size_t at) {
    // Window coordinates back to eye coordinates through the orthographic map.
    const float eye[3] = {
        ((buffer[at] - static_cast<float>(viewport[0])) * 2 / static_cast<float>(viewport[2]) - 1) * kReach,
        ((buffer[at + 1] - static_cast<float>(viewport[1])) * 2 / static_cast<float>(viewport[3]) - 1) * kReach,
        -(buffer[at + 2] * 2 - 1) * kReach};
    for (int c = 0; c < 3; ++c) {
      bounds.min[c] = bounds.valid ? std::min(bounds.min[c], eye[c]) : eye[c];
      bounds.max[c] = bounds.valid ? std::max(bounds.max[c], eye[c]) : eye[c];
    }
    bounds.valid = true;
  };
  const auto end = static_cast<size_t>(values);
  for (size_t at = 0; at < end;) {
    const auto token = static_cast<GLint>(buffer[at++]);
    size_t vertices = 0;
    switch (token) {
      case GL_POLYGON_TOKEN: vertices = at < end ? static_cast<size_t>(buffer[at++]) : 0; break;
      case GL_LINE_TOKEN:
      case GL_LINE_RESET_TOKEN: vertices = 2; break;
      case GL_POINT_TOKEN:
      case GL_BITMAP_TOKEN:
      case GL_DRAW_PIXEL_TOKEN:
      case GL_COPY_PIXEL_TOKEN: vertices = 1; break;
      case GL_PASS_THROUGH_TOKEN: at += 1; break;
      default: at = end; break;  // not a token: stop rather than misread
    }
    for (size_t v = 0; v < vertices && at + 3 <= end; ++v, at += 3) vertex(at);
  }
  return bounds;
}

void DrawStudioFloor(const StudioFloor& floor, const std::function<void()>& drawProduct) {
  const bool shadow = floor.shadow && floor.shadowStrength > 0;
  const bool reflection = floor.reflection && floor.reflectionStrength > 0;
  if (!shadow && !reflection) return;
  const EyeBounds bounds = ProductEyeBounds(drawProduct);
  if (!bounds.valid) return;
  GLint screen = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &screen);
  GLint viewport[4] = {0, 0, 1, 1};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const Matrix projection = currentProjection();
  GLfloat clear[4] = {0, 0, 0, 0};
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (shadow) drawShadow(floor, bounds, projection, viewport, screen, drawProduct);
  if (reflection) drawReflection(floor, bounds, projection, viewport, screen, drawProduct);
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(screen));
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(projection.data());
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
  glActiveTexture(GL_TEXTURE0);
  glClearColor(clear[0], clear[1], clear[2], clear[3]);
}

}  // namespace kestrova
