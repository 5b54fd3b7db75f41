#include "new_shot.h"

#include "animation/keyframes.h"
#include "render/scene_initialiser.h"
#include "render/texture_loader.h"

namespace kestrova {

void NewShot(SceneState& scene, bool panelOpen) {
  scene.currentFrame = 0;
  scene.bakedSegmentCount = 0;
  scene.rotation = {30, 30, 0};
  scene.pan = {0, 0, 0};
  scene.spotLight = {0, 0, 0};
  scene.boxSize = {0.26f, 0.21f, 0.035f};
  scene.scale = {0, 14, -45};
  scene.backgroundColor = {255, 255, 255};  // the GL clamps it to white
  ApplyClearColor(scene);
  scene.bookBinding = 2;
  scene.spinValue() = 0;
  scene.spinGuard = 2;
  scene.panelReady = 0;
  if (panelOpen) {
    scene.rotation[0] += scene.spinVelocity[1];
    scene.rotation[1] += scene.spinVelocity[0];
  }
  scene.playing = false;
  if (scene.animationLength >= 1) {
    ClearAnimationTracks(scene);
    scene.bakedSegmentCount = 0;
    scene.keysFromFile = false;
    scene.boxStyle = 0;
    scene.bookBinding = 2;
    scene.productKind = kProductBook;
    scene.baseRotation = scene.rotation;
    scene.basePan = scene.pan;
    scene.baseSpot = scene.spotLight;
    scene.scale = {0, 0, 0};
    scene.baseScale = scene.scale;
  }
  scene.productKind = kProductBook;
  scene.panelSubMode = 0;
  scene.lightingMode = 0;
  scene.boxSize = {0.26f, 0.21f, 0.035f};
  scene.boxStyle = 0;
  scene.scale = {0, 14, -45};
  scene.imagePathIsAbsolute = 0;
  LoadDefaultBoxTextures(scene);
}

}  // namespace kestrova
