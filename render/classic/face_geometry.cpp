#include "render/classic/face_geometry.h"

#include <GL/gl.h>

#include "render/scene_initialiser.h"

namespace kestrova {

namespace {

constexpr int kQuads = kGridSize - 1;

bool immediateFaces = false;

struct Rotation {
  float angle;
  float x, y, z;
};

struct FacePlacement {
  Rotation rotations[3];
  float scale[3];
  float offset[3];
};

void cameraTranslate(const SceneState& scene) {
  glTranslatef(scene.pan[0] / 50.0f, scene.pan[1] / 50.0f, scene.pan[2] - 100.0f);
}

void place(const FacePlacement& face) {
  for (const Rotation& r : face.rotations) glRotatef(r.angle, r.x, r.y, r.z);
  glScalef(face.scale[0], face.scale[1], face.scale[2]);
}

}  // namespace

void FaceState() {
  glLoadIdentity();
  glShadeModel(GL_SMOOTH);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glColor3f(255.0f, 255.0f, 255.0f);  // clamped to white
  glEnable(GL_TEXTURE_2D);
  // GL_CULL_FACE stays off: both sides of every face are drawn.
  glCullFace(GL_BACK);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
}

void UseImmediateModeFaces(bool immediate) { immediateFaces = immediate; }

void BindFaceTexture(uint32_t texture) {
  glBindTexture(GL_TEXTURE_2D, texture);
  glPassThrough(static_cast<GLfloat>(texture));
}

void FaceStateBlock(uint32_t texture) {
  FaceState();
  BindFaceTexture(texture);
}

void FaceSpotLight(const SceneState& scene, float divisor, float exponent) {
  glEnable(GL_LIGHT1);
  const GLfloat position[] = {scene.spotLight[0] / divisor, scene.spotLight[1] / divisor,
                              scene.spotLight[2] / divisor, 1.0f};
  const GLfloat direction[] = {0.0f, 0.0f, -1.0f};
  glLightfv(GL_LIGHT1, GL_POSITION, position);
  glLightf(GL_LIGHT1, GL_SPOT_CUTOFF, 90.0f);
  glLightf(GL_LIGHT1, GL_SPOT_EXPONENT, exponent);
  glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, direction);
}

namespace {

constexpr int kFaceVertices = kQuads * kQuads * 4;

// Corner (a, b) of every quad, in drawing order: (i, j), (i, j + 1),
// (i + 1, j + 1), (i + 1, j).
struct QuadCorners {
  int a[kFaceVertices];
  int b[kFaceVertices];
  float texCoords[kFaceVertices * 2];
  QuadCorners() {
    int n = 0;
    for (int i = 0; i < kQuads; ++i) {
      for (int j = 0; j < kQuads; ++j) {
        const int corners[4][2] = {{i, j}, {i, j + 1}, {i + 1, j + 1}, {i + 1, j}};
        for (const auto& corner : corners) {
          a[n] = corner[0];
          b[n] = corner[1];
          texCoords[n * 2] = static_cast<float>(corner[0]) / 44.0f;
          texCoords[n * 2 + 1] = static_cast<float>(corner[1]) / 44.0f;
          ++n;
        }
      }
    }
  }
};

const QuadCorners& quadCorners() {
  static const QuadCorners corners;
  return corners;
}

// Quads from client arrays of positions (x, y, z) and texture coordinates.
void drawQuads(const float* positions, const float* texCoords, int vertices) {
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, positions);
  glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
  glDrawArrays(GL_QUADS, 0, vertices);
  glPopClientAttrib();
}

}  // namespace

void DrawFace(const SceneState& scene, float ox, float oy, float oz) {
  if (immediateFaces) {
    DrawFaceImmediate(scene, ox, oy, oz);
    return;
  }
  if (!glIsEnabled(GL_LIGHTING)) {
    // Unlit, the grid is only there for the spot light: each face is flat,
    // one colour times its picture, and the texture coordinates run
    // linearly across it. One quad over the grid's corners covers the same
    // pixels with the same picture, for 2 triangles instead of 3872.
    const GridVertex& a = scene.faceGrid[0][0];
    const GridVertex& b = scene.faceGrid[0][kQuads];
    const GridVertex& c = scene.faceGrid[kQuads][kQuads];
    const GridVertex& d = scene.faceGrid[kQuads][0];
    const float positions[] = {a.x + ox, a.y + oy, a.z + oz, b.x + ox, b.y + oy, b.z + oz,
                               c.x + ox, c.y + oy, c.z + oz, d.x + ox, d.y + oy, d.z + oz};
    static const float texCoords[] = {0, 0, 0, 1, 1, 1, 1, 0};
    drawQuads(positions, texCoords, 4);
    return;
  }
  // One glDrawArrays of the same quads, corners and coordinates as
  // glBegin(GL_QUADS) would send, at a fraction of the calls. The positions
  // are the same float sums, so the pixels are the same. No normal is sent:
  // flat faces are lit with whatever normal is current.
  const QuadCorners& corners = quadCorners();
  static float positions[kFaceVertices * 3];
  for (int n = 0; n < kFaceVertices; ++n) {
    const GridVertex& v = scene.faceGrid[corners.a[n]][corners.b[n]];
    positions[n * 3] = v.x + ox;
    positions[n * 3 + 1] = v.y + oy;
    positions[n * 3 + 2] = v.z + oz;
  }
  drawQuads(positions, corners.texCoords, kFaceVertices);
}

// The same face in immediate mode, kept for the benchmark and the test that
// shows both give the same pixels.
void DrawFaceImmediate(const SceneState& scene, float ox, float oy, float oz) {
  glBegin(GL_QUADS);
  for (int i = 0; i < kQuads; ++i) {
    for (int j = 0; j < kQuads; ++j) {
      const int corners[4][2] = {{i, j}, {i, j + 1}, {i + 1, j + 1}, {i + 1, j}};
      for (const auto& corner : corners) {
        const int a = corner[0];
        const int b = corner[1];
        const GridVertex& v = scene.faceGrid[a][b];
        glTexCoord2f(static_cast<float>(a) / 44.0f, static_cast<float>(b) / 44.0f);
        glVertex3f(v.x + ox, v.y + oy, v.z + oz);
      }
    }
  }
  glEnd();
}

void DrawBox(const SceneState& scene, const std::array<uint32_t, 6>& textures) {
  const float rx = scene.rotation[0];
  const float ry = scene.rotation[1];
  const float rz = scene.rotation[2];
  const float sx = scene.scale[0];
  const float sy = scene.scale[1];
  const float sz = scene.scale[2];
  const float h = scene.boxSize[0];
  const float w = scene.boxSize[1];
  const float d = scene.boxSize[2];
  // The small x/y offsets move each turned face back over the grid's
  // off-centre middle; the sz, sx/740 and sy/740 terms keep each face on the
  // box's surface as the scale of its own axis changes.
  const FacePlacement faces[6] = {
      {{{rx, 1, 0, 0}, {ry, 0, 1, 0}, {rz, 0, 0, 1}},
       {w * 20 + sx / 10, h * 20 + sy / 10, 2 * d},
       {0, 0, 330 + 6.35f * sz}},
      {{{rx, 1, 0, 0}, {ry + 180, 0, 1, 0}, {-rz, 0, 0, 1}},
       {w * 20 + sx / 10, h * 20 + sy / 10, 2 * d},
       {0.2f, 0, 324 + 6.3f * sz}},
      {{{rx, 1, 0, 0}, {ry + 270, 0, 1, 0}, {rz, 1, 0, 0}},
       {w * 20 + sz / 10, h * 20 + sy / 10, 2 * d + sx / 740},
       {0.14f, 0, 333}},
      {{{rx, 1, 0, 0}, {ry + 90, 0, 1, 0}, {-rz, 1, 0, 0}},
       {w * 20 + sz / 10, h * 20 + sy / 10, 2 * d + sx / 740},
       {0.05f, 0, 318}},
      {{{rx - 90, 1, 0, 0}, {ry, 0, 0, 1}, {-rz, 0, 1, 0}},
       {w * 20 + sx / 10, h * 20 + sz / 10, 2 * d + sy / 740},
       {0, 0.06f, 319}},
      {{{rx + 90, 1, 0, 0}, {180 - ry, 0, 0, 1}, {-rz, 0, 1, 0}},
       {w * 20 + sx / 10, h * 20 + sz / 10, 2 * d + sy / 740},
       {0.2f, 0.06f, 333}},
  };
  for (int f = 0; f < 6; ++f) {
    FaceStateBlock(textures[static_cast<size_t>(f)]);
    if (scene.lightingMode >= 2.0f) FaceSpotLight(scene, 3.0f, f == 0 ? 100.0f : 40.0f);
    cameraTranslate(scene);
    place(faces[f]);
    DrawFace(scene, faces[f].offset[0], faces[f].offset[1], faces[f].offset[2]);
  }
}

std::array<uint32_t, 6> BoxTextures(const SceneState& scene) {
  const auto& t = scene.textureSlot;
  return {t[kSlotBoxFront], t[kSlotBoxBack], t[kSlotBoxLeft],
          t[kSlotBoxRight], t[kSlotBoxTop], t[kSlotBoxBottom]};
}

std::array<uint32_t, 6> FlatBookTextures(const SceneState& scene) {
  const auto& t = scene.textureSlot;
  return {t[kSlotBookFront], t[kSlotBookBack],  t[kSlotBookSpine],
          t[kSlotBookPage1], t[kSlotBookPage2], t[kSlotBookPage3]};
}

void DrawScreenShot(SceneState& scene) {
  scene.screenShotSize = {static_cast<float>(scene.pictureWidth[0]),
                          static_cast<float>(scene.pictureHeight[0])};
  const float rx = scene.rotation[0];
  const float ry = scene.rotation[1];
  const float rz = scene.rotation[2];
  // 1000 HIMETRIC (one centimetre) of picture is one unit of scale.
  const float scale[3] = {scene.screenShotSize[0] / 1000.0f + scene.scale[0] / 10.0f,
                          scene.screenShotSize[1] / 1000.0f + scene.scale[1] / 10.0f,
                          2 * scene.boxSize[2]};
  const FacePlacement faces[2] = {
      {{{rx, 1, 0, 0}, {ry, 0, 1, 0}, {rz, 0, 0, 1}},
       {scale[0], scale[1], scale[2]},
       {0, 0, 4}},
      {{{rx, 1, 0, 0}, {ry + 180, 0, 1, 0}, {-rz, 0, 0, 1}},
       {scale[0], scale[1], scale[2]},
       {0.22f, 0, 0.1f}},
  };
  for (int f = 0; f < 2; ++f) {
    FaceState();
    glEnable(GL_TEXTURE_2D);
    if (f == 1) ResetLamp();
    if (scene.lightingMode >= 2.0f) FaceSpotLight(scene, 1.0f, 40.0f);
    BindFaceTexture(scene.textureSlot[kSlotBoxFront]);
    cameraTranslate(scene);
    place(faces[f]);
    DrawFace(scene, faces[f].offset[0], faces[f].offset[1], faces[f].offset[2]);
  }
}

}  // namespace kestrova
