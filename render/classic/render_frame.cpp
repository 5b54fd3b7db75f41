#include "render/classic/render_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "render/deferred_assets.h"
#include "render/classic/face_geometry.h"
#include "render/classic/model_drawing.h"
#include "render/classic/classic_floor.h"
#include "render/studio/studio_renderer.h"

#include <algorithm>
#include <string>

namespace kestrova {

namespace {

// Serves a face image request: a pending request (2) is cleared before the host opens its
// dialog, so a frame drawn while the dialog is up does not open a second one.
void serveRequest(float& flag, FaceRequest face, RenderHost& host) {
  if (flag < 2.0f) return;
  flag = 0.0f;
  host.requestFaceImage(face);
}

// Each face's request flag and what it asks for, a box's and a book's (the
// paperback's page faces can be given images too).
struct FaceRequestFlag {
  float SceneState::*flag;
  FaceRequest face;
};
constexpr FaceRequestFlag kBoxRequests[] = {
    {&SceneState::boxFrontLoadRequest, FaceRequest::BoxFront}, {&SceneState::boxBackLoadRequest, FaceRequest::BoxBack},
    {&SceneState::boxLeftLoadRequest, FaceRequest::BoxLeft},   {&SceneState::boxRightLoadRequest, FaceRequest::BoxRight},
    {&SceneState::boxTopLoadRequest, FaceRequest::BoxTop},     {&SceneState::boxBottomLoadRequest, FaceRequest::BoxBottom}};
constexpr FaceRequestFlag kBookRequests[] = {
    {&SceneState::bookFrontLoadRequest, FaceRequest::BookFront}, {&SceneState::bookBackLoadRequest, FaceRequest::BookBack},
    {&SceneState::bookSpineLoadRequest, FaceRequest::BookSpine}, {&SceneState::bookRightLoadRequest, FaceRequest::BookRight},
    {&SceneState::bookTopLoadRequest, FaceRequest::BookTop},     {&SceneState::bookBottomLoadRequest, FaceRequest::BookBottom}};

template <size_t N>
void serveRequests(SceneState& scene, const FaceRequestFlag (&requests)[N], RenderHost& host) {
  for (const FaceRequestFlag& r : requests) serveRequest(scene.*r.flag, r.face, host);
}

void serveBoxRequests(SceneState& scene, RenderHost& host) { serveRequests(scene, kBoxRequests, host); }

void forceFaceBuiltSize(SceneState& scene) {
  // The style lists store other sizes; the drawing always uses these, so the
  // styles differ on screen only by their scale values.
  scene.boxSize = {0.26f, 0.26f, 0.035f};
}

// Draws the product of productKind. Requests are served only to a host
// given; `still`: the still path, not playback.
void drawProduct(SceneState& scene, RenderHost* stillHost, bool still) {
  const std::optional<ShownProduct> shown = ShownProductOf(scene.productKind);
  if (!shown) return;  // a kind no product has draws nothing
  LoadAssetsFor(scene, *shown);
  switch (*shown) {
    case ShownProduct::Box:
      DrawBox(scene, BoxTextures(scene));
      if (stillHost) serveBoxRequests(scene, *stillHost);
      break;
    case ShownProduct::ScreenShot:
      DrawScreenShot(scene);
      if (stillHost) serveRequest(scene.boxFrontLoadRequest, FaceRequest::BoxFront, *stillHost);
      break;
    case ShownProduct::Mug:
      DrawMug(scene);
      break;
    case ShownProduct::Book:
      if (!(scene.bookBinding > 1.0f) && scene.bookStyle <= 1) {
        DrawBox(scene, FlatBookTextures(scene));
      }
      if (scene.bookBinding >= 2.0f) DrawModelledBook(scene, still);
      break;
  }
}

// The product, with the studio floor under it when that is on.
void drawShot(SceneState& scene, RenderHost* stillHost) {
  const bool still = stillHost != nullptr;
  if (scene.look.studio) {
    // The whole viewport in the studio look; the face requests a drawn
    // product would serve are served all the same.
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::string ignored;  // a driver without the shaders draws the background alone
    studio::DrawStudioFrame(scene, std::max(1, viewport[2]), std::max(1, viewport[3]), &ignored);
    if (!stillHost) return;
    if (ShownProductOf(scene.productKind) == ShownProduct::Box) serveBoxRequests(scene, *stillHost);
    if (ShownProductOf(scene.productKind) == ShownProduct::ScreenShot) {
      serveRequest(scene.boxFrontLoadRequest, FaceRequest::BoxFront, *stillHost);
    }
    return;
  }
  if (scene.studioFloor.on()) {
    DrawStudioFloor(scene.studioFloor, [&scene, still] { drawProduct(scene, nullptr, still); });
  }
  drawProduct(scene, stillHost, still);
}

int clampFrame(int frame) {
  if (frame < 0) return 0;
  if (frame >= kTrackFrames) return kTrackFrames - 1;
  return frame;
}

}  // namespace

void DrawShotProduct(SceneState& scene) {
  forceFaceBuiltSize(scene);
  drawProduct(scene, nullptr, true);
}

void RenderFrame(SceneState& scene, RenderHost& host) {
  if (!(scene.introShown > 1.0f)) host.createIntroDialog();
  scene.introShown = 2.0f;
  // Frame pacing lives in the view's frame scheduling, not here.

  glLoadIdentity();
  // Nothing draws with the stencil, but the window's buffers pack it with
  // depth: clearing both at once is a plain fill, where depth alone must
  // read and keep every stencil byte (a third of a multisampled frame).
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);

  if (scene.panelSubMode >= 2.0f) glEnable(GL_LIGHTING);
  if (scene.lightingMode >= 2.0f) glEnable(GL_LIGHTING);
  if (!(scene.lightingMode > 1.0f)) {
    // Switching lighting off also leaves spot-light editing.
    glDisable(GL_LIGHTING);
    scene.panelSubMode = 0.0f;
  }

  if (!scene.playing) {
    forceFaceBuiltSize(scene);
    // The first two still frames after start-up always show the box.
    if (!(scene.startupFrameCount > 1.0f)) scene.productKind = kProductBox;
    scene.startupFrameCount += 1.0f;
    drawShot(scene, &host);
  } else {
    RenderPlaybackFrame(scene, host);
  }

  if (scene.productKind <= 1.0f) {
    scene.bookFlag = 0.0f;
    serveRequests(scene, kBookRequests, host);
  }
  if (ShownProductOf(scene.productKind) == ShownProduct::Mug) {
    serveRequest(scene.mugLoadRequest, FaceRequest::Mug, host);
  }
}

void ApplyPlaybackPose(SceneState& scene) {
  // currentFrame is kept within the tracks by the keyframe code; a stray value
  // must still never index past them.
  const size_t frame = static_cast<size_t>(clampFrame(scene.currentFrame));
  for (size_t c = 0; c < 3; ++c) {
    scene.pan[c] = scene.tweenPan[c][frame];
    scene.rotation[c] = scene.tweenRotation[c][frame];
    scene.spotLight[c] = scene.tweenSpot[c][frame];
  }
  // Shots older than format 3 play with a fixed scale.
  if (FormatVersionAtLeast(scene.formatVersion, 3)) {
    for (size_t c = 0; c < 3; ++c) scene.scale[c] = scene.tweenScale[c][frame];
  }
}

void RenderPlaybackFrame(SceneState& scene, RenderHost& host) {
  ApplyPlaybackPose(scene);
  forceFaceBuiltSize(scene);
  drawShot(scene, nullptr);
  host.syncPanelControls();
  host.showTimelineFrame(scene.currentFrame);

  if (scene.sequenceIndex >= 0 && scene.sequenceIndex < kSequenceCapacity &&
      scene.sequenceNames[static_cast<size_t>(scene.sequenceIndex)] == kEndMarker) {
    scene.sequenceIndex = 0;
  }
  if (scene.currentFrame < scene.animationLength - 1) ++scene.currentFrame;
  if (scene.currentFrame == scene.bakedFrameCount - 1 && scene.introDialog != nullptr) {
    host.enableIntroStart();
  }
}

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
