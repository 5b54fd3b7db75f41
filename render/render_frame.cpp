#include "render_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace kestrova {

void RenderFrame(SceneState& scene, RenderHost& host) {
  if (!(scene.introShown > 1.0f)) host.createIntroDialog();
  scene.introShown = 2.0f;
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void RenderPlaybackFrame(SceneState&, RenderHost&) {}

void ApplyViewSize(SceneState& scene, int cx, int cy) {
  const int height = cy == 0 ? 1 : cy;
  glViewport(0, 0, cx, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(cx) / static_cast<double>(height), 0.5, 9980100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  scene.viewWidth = cx;
  scene.viewHeight = cy;
}

}  // namespace kestrova
