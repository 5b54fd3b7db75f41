#include "scene_initialiser.h"

#include <GL/gl.h>

namespace kestrova {

void ResetLamp() {
  const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
  const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
  const GLfloat position[] = {0.0f, 0.0f, 0.0f, 1.0f};
  glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT1, GL_POSITION, position);
  glEnable(GL_LIGHT1);
}

void ApplyClearColor(const SceneState& scene) {
  glClearColor(scene.backgroundColor[0], scene.backgroundColor[1], scene.backgroundColor[2], 0.0f);
}

void SetInitialGLState() {
  glEnable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void SetInitialSceneValues(SceneState& scene) {
  scene.boxSize = {0.26f, 0.21f, 0.035f};
  scene.bookBinding = 0.0f;
  scene.rotation[0] = 30.0f;
  scene.rotation[1] = 30.0f;

  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();  // the lamp position is given in eye coordinates
  ResetLamp();
  glPopMatrix();

  scene.pan = {0.0f, 0.0f, 0.0f};
  scene.backgroundColor = {255.0f, 255.0f, 255.0f};
  scene.lightColor = {155.0f, 155.0f, 155.0f};
  BuildFaceGrid(scene);
}

void InitialiseSceneDefaults(SceneState& scene) {
  SetInitialGLState();
  SetInitialSceneValues(scene);
}

}  // namespace kestrova
