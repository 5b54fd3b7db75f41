#include "export_image.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <EGL/egl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "read_framebuffer.h"
#include "preflight.h"
#include "render/classic/render_frame.h"
#include "texture_loader.h"
#include "scene_initialiser.h"
#include "studio/studio_renderer.h"

namespace kestrova {

namespace {

// The frustum of the view's perspective (45 degrees high, near 0.5, far
// 9980100): a tile is drawn through its own part of it, so the tiles meet
// without a seam.
constexpr double kFovY = 45.0;
constexpr double kNear = 0.5;
constexpr double kFar = 9980100.0;

class Framebuffer {
 public:
  Framebuffer(int width, int height) {
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glGenRenderbuffers(2, renderbuffers_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
    complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }
  ~Framebuffer() {
    if (abandoned_) return;
    glBindFramebuffer(GL_FRAMEBUFFER, previous_);
    glDeleteRenderbuffers(2, renderbuffers_);
    glDeleteFramebuffers(1, &framebuffer_);
  }
  Framebuffer(const Framebuffer&) = delete;
  Framebuffer& operator=(const Framebuffer&) = delete;
  bool complete() const { return complete_; }
  void setPrevious(GLint previous) { previous_ = static_cast<GLuint>(previous); }
  void bind() const { glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_); }
  // Its context is gone, and its names with it: nothing to delete.
  void abandon() { abandoned_ = true; }

 private:
  GLuint framebuffer_ = 0;
  GLuint renderbuffers_[2] = {0, 0};
  GLuint previous_ = 0;
  bool complete_ = false;
  bool abandoned_ = false;
};

// The last framebuffer of a headless context, kept for the next picture of
// the same size: a batch draws hundreds on one context.
struct KeptFramebuffer {
  EGLContext context = EGL_NO_CONTEXT;
  int width = 0;
  int height = 0;
  std::unique_ptr<Framebuffer> framebuffer;
};

KeptFramebuffer& kept() {
  static KeptFramebuffer instance;
  return instance;
}

// A framebuffer of this size: the kept one where the context and size match
// (only EGL contexts: the window's are Qt's to manage), else a new one.
Framebuffer* framebufferFor(int width, int height, std::unique_ptr<Framebuffer>* owned) {
  const EGLContext context = eglGetCurrentContext();
  KeptFramebuffer& k = kept();
  if (context == EGL_NO_CONTEXT) {
    *owned = std::make_unique<Framebuffer>(width, height);
    return owned->get();
  }
  if (k.context != context || k.width != width || k.height != height || !k.framebuffer) {
    if (k.context == context) k.framebuffer.reset();
    else if (k.framebuffer) k.framebuffer->abandon(), k.framebuffer.reset();
    k.framebuffer = std::make_unique<Framebuffer>(width, height);
    k.context = context;
    k.width = width;
    k.height = height;
  }
  k.framebuffer->bind();
  return k.framebuffer.get();
}

// Whether the GL had the memory and the buffer to draw all it was asked
// since the last look; else `error` says what it lacked. (Other errors are
// a driver's quibbles over state, not a picture gone missing.)
bool drawnWithoutError(std::string* error) {
  bool lacking = false, memory = false;
  // A GL keeps a handful of error flags at most; the bound guards a driver
  // that keeps one raised.
  int flags = 0;
  for (GLenum code = glGetError(); code != GL_NO_ERROR && flags < 16; code = glGetError(), ++flags) {
    memory = memory || code == GL_OUT_OF_MEMORY;
    lacking = lacking || code == GL_OUT_OF_MEMORY || code == GL_INVALID_FRAMEBUFFER_OPERATION;
  }
  if (lacking && error) {
    *error = memory ? "the graphics driver ran out of memory drawing a part of the picture"
                    : "the graphics driver had no buffer to draw a part of the picture in";
  }
  return !lacking;
}

// Draws one tile at `scale` times its size into the framebuffer. False,
// with `error`, when the GL could not: a tile missing from a picture is a
// wrong picture, never one to write.
bool drawTileFrame(SceneState& scene, RenderHost& host, const ExportOptions& o, int x0, int y0, int width,
                   int height, int scale, std::string* error) {
  for (int flags = 0; flags < 16 && glGetError() != GL_NO_ERROR; ++flags) {
  }
  if (scene.look.studio) {
    glViewport(0, 0, width * scale, height * scale);
    if (o.frame) {
      scene.currentFrame = *o.frame;
      ApplyPlaybackPose(scene);
    }
    if (!studio::DrawStudioTile(scene, o.width, o.height, x0, y0, width, height, error)) return false;
    return drawnWithoutError(error);
  }
  const double top = kNear * std::tan(kFovY * M_PI / 360.0);
  const double right = top * static_cast<double>(o.width) / static_cast<double>(o.height);
  // GL rows run bottom-up: the tile's rows y0..y0+height from the top.
  const double l = -right + 2.0 * right * x0 / o.width;
  const double r = -right + 2.0 * right * (x0 + width) / o.width;
  const double t = top - 2.0 * top * y0 / o.height;
  const double b = top - 2.0 * top * (y0 + height) / o.height;
  glViewport(0, 0, width * scale, height * scale);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(l, r, b, t, kNear, kFar);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (o.frame) {
    scene.currentFrame = *o.frame;
    scene.playing = true;
  }
  RenderFrame(scene, host);
  return drawnWithoutError(error);
}

// One tile drawn at `scale` times its size and filtered down by box
// averages; empty, with `error`, when it could not be drawn.
RgbaImage drawTile(SceneState& scene, RenderHost& host, const ExportOptions& o, int x0, int y0, int width,
                   int height, int scale, std::string* error) {
  if (!drawTileFrame(scene, host, o, x0, y0, width, height, scale, error)) return {};
  const RgbaImage big = ReadFramebuffer(width * scale, height * scale);
  if (!drawnWithoutError(error)) return {};
  if (scale == 1) return big;
  RgbaImage small;
  small.width = width;
  small.height = height;
  small.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  const int area = scale * scale;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int sum[4] = {0, 0, 0, 0};
      for (int sy = 0; sy < scale; ++sy) {
        for (int sx = 0; sx < scale; ++sx) {
          const uint8_t* p = big.at(x * scale + sx, y * scale + sy);
          for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
      }
      uint8_t* out = small.pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
      for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((sum[c] + area / 2) / area);
    }
  }
  return small;
}

// Reads the framebuffer's width x height picture top-down in strips of rows
// and hands each to `sink` as rows firstRow + ... of the picture.
bool sendStrips(const Framebuffer& framebuffer, int width, int height, int firstRow, const ExportRows& sink,
                std::string* error) {
  constexpr int kStripRows = 64;
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> strip(row * static_cast<size_t>(std::min(kStripRows, height)));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glFinish();
  for (int top = 0; top < height; top += kStripRows) {
    const int rows = std::min(kStripRows, height - top);
    // GL rows run bottom-up: this strip's last row is GL row height - top - rows.
    glReadPixels(0, height - top - rows, width, rows, GL_RGBA, GL_UNSIGNED_BYTE, strip.data());
    if (!drawnWithoutError(error)) return false;
    FlipRowsInPlace(strip.data(), row, rows);
    for (size_t i = 3; i < row * static_cast<size_t>(rows); i += 4) strip[i] = 255;
    if (!sink(strip.data(), firstRow + top, rows, error)) return false;
    framebuffer.bind();  // the sink may have let the window paint
  }
  return true;
}

void setBackground(SceneState& scene, const Vec3& colour) {
  scene.backgroundColor = colour;
  ApplyClearColor(scene);
}

}  // namespace

void ForgetExportFramebuffer(void* eglContext) {
  KeptFramebuffer& k = kept();
  if (k.context != static_cast<EGLContext>(eglContext) || !k.framebuffer) return;
  k.framebuffer->abandon();
  k.framebuffer.reset();
  k.context = EGL_NO_CONTEXT;
}

int TurntableFrames(double seconds, int fps) { return std::max(2, static_cast<int>(seconds * fps + 0.5)); }

float TurntableAngle(float start, int index, int frames) {
  return start + 360.0f * static_cast<float>(index) / static_cast<float>(frames);
}

bool RenderExportRows(SceneState& scene, RenderHost& host, const ExportOptions& o, const ExportRows& sink,
                      std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (o.width < 1 || o.height < 1 || o.width > kMaxExportSide || o.height > kMaxExportSide) {
    return fail("a picture is 1 to " + std::to_string(kMaxExportSide) + " pixels on a side");
  }
  if (o.supersample < 1 || o.supersample > 4) return fail("supersampling is 1, 2, 3 or 4");
  // Drawings (SVG, PDF) are drawn again as large as this picture shows them,
  // so vector artwork stays sharp however large the picture.
  if (std::any_of(scene.artwork.begin(), scene.artwork.end(), [](const FaceArtwork& a) { return a.scalable; })) {
    SharpenDrawings(scene, ShownSides(CheckArtwork(scene, o.width * o.supersample, o.height * o.supersample)));
  }
  GLint largest = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
  GLint viewportLimit[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportLimit);
  if (viewportLimit[0] > 0 && viewportLimit[1] > 0) largest = std::min({largest, viewportLimit[0], viewportLimit[1]});
  int tile = std::min<int>(largest > 0 ? largest : 4096, 4096);
  if (o.maxTile > 0) tile = std::min(tile, o.maxTile);
  // A tile is drawn at supersample times its size.
  tile = std::max(1, tile / o.supersample);

  // One row of tiles at a time: memory grows with the picture's width, not
  // its area, and the band goes to the sink before the next is drawn.
  std::vector<uint8_t> band;
  const Vec3 background = scene.backgroundColor;
  GLint previous = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  bool ok = true;
  {
    std::unique_ptr<Framebuffer> owned;
    Framebuffer& framebuffer = *framebufferFor(std::min(tile, o.width) * o.supersample,
                                               std::min(tile, o.height) * o.supersample, &owned);
    framebuffer.setPrevious(previous);
    if (!framebuffer.complete()) {
      glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
      return fail("the graphics driver could not make an off-screen picture");
    }
    // Whatever a first frame does once (the spot heights of the book and the
    // mug) happens before the tiles, so every tile draws the same shot.
    std::string why;
    if (drawTile(scene, host, o, 0, 0, 1, 1, 1, &why).pixels.empty()) {
      glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
      setBackground(scene, background);
      return fail(why);
    }
    for (int y0 = 0; ok && y0 < o.height; y0 += tile) {
      const int h = std::min(tile, o.height - y0);
      for (int x0 = 0; x0 < o.width; x0 += tile) {
        if (o.stop && o.stop()) {
          if (error) *error = "stopped";
          ok = false;
          break;
        }
        const int w = std::min(tile, o.width - x0);
        if (w == o.width && !o.transparent && o.supersample == 1) {
          // The common case, one opaque tile across: read back and handed on
          // a strip at a time, so no tile-sized copy is ever held.
          ok = drawTileFrame(scene, host, o, x0, y0, w, h, 1, error) && sendStrips(framebuffer, w, h, y0, sink, error);
          break;
        }
        RgbaImage onBlack;
        RgbaImage piece;
        if (o.transparent) {
          // Drawn over black and over white: where the two differ, the
          // background shows through, and by how much gives the coverage.
          setBackground(scene, {0, 0, 0});
          onBlack = drawTile(scene, host, o, x0, y0, w, h, o.supersample, error);
          setBackground(scene, {1, 1, 1});
          if (!onBlack.pixels.empty()) piece = drawTile(scene, host, o, x0, y0, w, h, o.supersample, error);
          if (piece.pixels.empty()) {
            ok = false;
            break;
          }
          for (size_t i = 0; i < piece.pixels.size(); i += 4) {
            int through = 0;
            for (int c = 0; c < 3; ++c) through += piece.pixels[i + c] - onBlack.pixels[i + c];
            const int alpha = std::clamp(255 - (through + 1) / 3, 0, 255);
            for (int c = 0; c < 3; ++c) {
              // Straight alpha: the colour as if the product covered the pixel.
              piece.pixels[i + c] =
                  alpha == 0 ? 0 : static_cast<uint8_t>(std::min(255, (onBlack.pixels[i + c] * 255 + alpha / 2) / alpha));
            }
            piece.pixels[i + 3] = static_cast<uint8_t>(alpha);
          }
        } else {
          piece = drawTile(scene, host, o, x0, y0, w, h, o.supersample, error);
          if (piece.pixels.empty()) {
            ok = false;
            break;
          }
          for (size_t i = 3; i < piece.pixels.size(); i += 4) piece.pixels[i] = 255;
        }
        if (w == o.width) {
          band = std::move(piece.pixels);  // the tile is the whole band
          break;
        }
        band.resize(static_cast<size_t>(o.width) * static_cast<size_t>(h) * 4);
        for (int row = 0; row < h; ++row) {
          std::memcpy(band.data() + (static_cast<size_t>(row) * o.width + x0) * 4,
                      piece.pixels.data() + static_cast<size_t>(row) * w * 4, static_cast<size_t>(w) * 4);
        }
      }
      if (ok && !band.empty()) ok = sink(band.data(), y0, h, error);
      band.clear();
      // A sink may let the window paint (a progress dialog does), and the
      // window binds its own framebuffer.
      framebuffer.bind();
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
  setBackground(scene, background);
  return ok;
}

RgbaImage RenderExport(SceneState& scene, RenderHost& host, const ExportOptions& o, std::string* error) {
  RgbaImage result;
  const ExportRows collect = [&result, &o](const uint8_t* rgba, int firstRow, int rows, std::string*) {
    if (result.pixels.empty()) result.pixels.resize(static_cast<size_t>(o.width) * static_cast<size_t>(o.height) * 4);
    std::memcpy(result.pixels.data() + static_cast<size_t>(firstRow) * o.width * 4, rgba,
                static_cast<size_t>(rows) * o.width * 4);
    return true;
  };
  if (!RenderExportRows(scene, host, o, collect, error)) return RgbaImage{};
  result.width = o.width;
  result.height = o.height;
  return result;
}

}  // namespace kestrova
