#include "render/classic/feedback_polygons.h"

#include <GL/gl.h>

#include "render/classic/render_frame.h"

namespace kestrova {

namespace {

constexpr size_t kVertexFloats = 11;  // GL_3D_COLOR_TEXTURE: x y z, r g b a, s t r q

}  // namespace

void ForEachFeedbackPolygon(SceneState& scene, const FeedbackPolygon& polygon) {
  static std::vector<GLfloat> buffer(1 << 20);
  GLint values = -1;
  for (int attempt = 0; attempt < 6 && values < 0; ++attempt) {
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    DrawShotProduct(scene);
    values = glRenderMode(GL_RENDER);
    if (values < 0) buffer.resize(buffer.size() * 4);
  }
  if (values <= 0) return;
  const auto end = static_cast<size_t>(values);
  uint32_t texture = 0;
  std::vector<FeedbackVertex> vertices;
  for (size_t at = 0; at < end;) {
    const auto token = static_cast<GLint>(buffer[at++]);
    size_t count = 0;
    switch (token) {
      case GL_PASS_THROUGH_TOKEN:
        if (at < end) texture = static_cast<uint32_t>(buffer[at]);
        at += 1;
        continue;
      case GL_POLYGON_TOKEN: count = at < end ? static_cast<size_t>(buffer[at++]) : 0; break;
      case GL_LINE_TOKEN:
      case GL_LINE_RESET_TOKEN: at += 2 * kVertexFloats; continue;
      case GL_POINT_TOKEN:
      case GL_BITMAP_TOKEN:
      case GL_DRAW_PIXEL_TOKEN:
      case GL_COPY_PIXEL_TOKEN: at += kVertexFloats; continue;
      default: at = end; continue;  // not a token: stop rather than misread
    }
    vertices.clear();
    for (size_t v = 0; v < count && at + kVertexFloats <= end; ++v, at += kVertexFloats) {
      const double q = buffer[at + 10] != 0 ? buffer[at + 10] : 1.0;
      vertices.push_back({buffer[at], buffer[at + 1], buffer[at + 2], buffer[at + 7] / q, buffer[at + 8] / q});
    }
    if (vertices.size() >= 3) polygon(texture, vertices);
  }
}

EyeSpaceCapture::EyeSpaceCapture(double reach, bool identityModelView) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-reach, reach, -reach, reach, -reach, reach);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (identityModelView) glLoadIdentity();
}

EyeSpaceCapture::~EyeSpaceCapture() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

}  // namespace kestrova
