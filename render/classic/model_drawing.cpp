#include "render/classic/model_drawing.h"

#include <GL/gl.h>

#include "render/classic/face_geometry.h"
#include "render/scene_initialiser.h"

namespace kestrova {

namespace {

void placeModel(const SceneState& scene) {
  glRotatef(scene.rotation[0], 1, 0, 0);
  glRotatef(scene.rotation[1], 0, 1, 0);
  glRotatef(scene.rotation[2], 0, 0, 1);
  glScalef(1 + scene.scale[0] / 100, 1 + scene.scale[1] / 100, 1 + scene.scale[2] / 100);
}

}  // namespace

void DrawModel(const Model3DS& model, float ds, float dt, bool frontCover) {
  glMatrixMode(GL_MODELVIEW);
  for (const Object3DS& object : model.objects) {
    if (object.hasTexture) glEnable(GL_TEXTURE_2D);  // never switched off here
    const bool sendTexCoords = !object.texCoords.empty() && (object.hasTexture || !frontCover);
    glBegin(GL_TRIANGLES);
    for (const Face3DS& face : object.faces) {
      for (const uint16_t index : face.vertex) {
        glNormal3fv(object.normals[index].data());
        // Coordinates are looked up by vertex index; a short array covers
        // only the vertices it reaches.
        if (sendTexCoords && index < object.texCoords.size()) {
          glTexCoord2f(object.texCoords[index][0] + ds, object.texCoords[index][1] + dt);
        }
        glVertex3fv(object.vertices[index].data());
      }
    }
    glEnd();
  }
}

void DrawModelledBook(SceneState& scene, bool stillPath) {
  if (stillPath) {
    if (!(scene.bookSpotInitialised > 1.0f)) scene.spotLight[2] = 200.0f;
    scene.bookSpotInitialised = 4.0f;
  }
  const ProductModels& models = Models();
  const struct {
    const Model3DS& model;
    TextureSlot slot;
  } parts[] = {{models.frontCover, kSlotBookFront},
               {models.backCover, kSlotBookBack},
               {models.binder, kSlotBookSpine},
               {models.pages, kSlotBookPage1}};
  for (const auto& part : parts) {
    glLoadIdentity();
    BindFaceTexture(scene.textureSlot[static_cast<size_t>(part.slot)]);
    glColor3f(255.0f, 255.0f, 255.0f);
    glEnable(GL_TEXTURE_2D);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    if (stillPath) ResetLamp();
    if (scene.lightingMode >= 2.0f) FaceSpotLight(scene, 5.0f, 40.0f);
    glTranslatef(scene.pan[0] / 50, scene.pan[1] / 50, (scene.pan[2] - 1000) / 50);
    placeModel(scene);
    DrawModel(part.model, 0, 0, &part.model == &models.frontCover);
  }
}

void DrawMug(SceneState& scene) {
  if (!(scene.mugSpotInitialised > 1.0f)) scene.spotLight[2] = 100.0f;
  scene.mugSpotInitialised = 4.0f;
  glLoadIdentity();
  BindFaceTexture(scene.textureSlot[kSlotMug]);
  glColor3f(255.0f, 255.0f, 255.0f);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  // Spot-light editing, not the lighting switch, moves the mug's spot.
  if (scene.panelSubMode >= 2.0f) FaceSpotLight(scene, 1.0f, 40.0f);
  glTranslatef(scene.pan[0] / 10, scene.pan[1] / 10, (scene.pan[2] - 1000) / 10 - 180);
  placeModel(scene);

  // 360 units of scroll move the wrap by one whole width or height.
  const float ds = scene.textureScroll[0] / 360.0f;
  const float dt = scene.textureScroll[1] / 360.0f;
  glColor3f(255.0f, 255.0f, 255.0f);
  DrawModel(Models().mug, ds, dt);

  // The reflection: the environment map added on top at the same depths,
  // which pass because the depth test is less-or-equal.
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glEnable(GL_TEXTURE_2D);
  BindFaceTexture(scene.textureSlot[kSlotMugEnvironment]);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  DrawModel(Models().mug, ds, dt);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_BLEND);
}

}  // namespace kestrova
