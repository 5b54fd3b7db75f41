#include "scene_edits.h"

#include <cctype>
#include <climits>
#include <cmath>

namespace kestrova {

SliderTarget CurrentSliderTarget(SceneState& scene) {
  SliderTarget target;
  auto three = [&target](Vec3& v) { target.values = {&v[0], &v[1], &v[2]}; };
  if (scene.panelSubMode == 2.0f) {
    three(scene.spotLight);
  } else if (scene.textureScrollMode >= 2.0f) {
    target.values = {&scene.textureScroll[0], &scene.textureScroll[1], nullptr};
    target.count = 2;
    target.minimum = -2000;
    target.maximum = 2000;
  } else if (scene.movementMode <= 1.0f) {
    three(scene.rotation);
  } else if (scene.movementMode == 2.0f) {
    three(scene.pan);
    target.minimum = -2000;
    target.maximum = 2000;
  } else {
    three(scene.scale);
  }
  return target;
}

int ShownValue(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return INT_MAX;
  if (value <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(value);
}

namespace {

float normalisedAngle(float angle) {
  // A loaded shot may hold any float; stepping by 720 would never end on an
  // infinity and would take forever on a huge angle.
  if (!std::isfinite(angle)) return angle;
  if (std::fabs(angle) > 1.0e6f) {
    const double steps = angle > 0 ? std::ceil((angle - 360.0) / 720.0) : -std::ceil((-360.0 - angle) / 720.0);
    angle = static_cast<float>(angle - steps * 720.0);
  }
  while (angle < -360.0f) angle += 720.0f;
  while (angle > 360.0f) angle -= 720.0f;
  return angle;
}

// Pan and zoom and scale take the pair the same way; the modelled book moves
// four times as far per pixel, so it keeps pace with the larger boxes.
void applyPanRule(const SceneState& scene, float& a, float& b, float dx, float dy) {
  if (scene.productKind <= 2.0f) {
    const float factor = scene.bookBinding >= 2.0f ? 4.0f : 1.0f;
    a += factor * dx;
    b -= factor * dy;
  } else if (scene.productKind >= 4.0f) {
    a += dx;
    b -= dy;
  }
}

}  // namespace

void NormaliseAngles(SceneState& scene) {
  for (float& angle : scene.rotation) angle = normalisedAngle(angle);
}

bool TakeBackHeldPose(SceneState& scene) {
  if (!scene.playing || scene.keyCount < 1 || scene.animationLength < 1) return false;
  if (scene.currentFrame < scene.animationLength - 1) return false;
  scene.playing = false;
  return true;
}

void BeginDrag(SceneState& scene, bool rightButton, int x, int y) {
  TakeBackHeldPose(scene);
  if (rightButton) scene.rightDrag = true;
  scene.spinVelocity = {0.0f, 0.0f};
  scene.dragging = true;
  scene.lastCursorX = x;
  scene.lastCursorY = y;
}

void EndDrag(SceneState& scene, bool rightButton) {
  scene.dragging = false;
  if (rightButton) scene.rightDrag = false;
}

DragOutcome DragTo(SceneState& scene, int x, int y, bool control, bool panelOpen) {
  DragOutcome out;
  if (!scene.dragging) return out;
  out.moved = true;
  float dx = static_cast<float>(x - scene.lastCursorX) / 2.0f;
  const float dy = static_cast<float>(y - scene.lastCursorY) / 2.0f;
  scene.spinVelocity = {dx, dy};
  scene.lastCursorX = x;
  scene.lastCursorY = y;
  if (control) return out;

  if (scene.rightDrag) {
    NormaliseAngles(scene);
    if (!panelOpen) {
      scene.rotation[2] += (dx + dy) / 2.0f;
    } else if (scene.panelSubMode <= 1.0f && scene.textureScrollMode <= 1.0f) {
      if (scene.movementMode <= 1.0f) {
        scene.rotation[2] += (dx + dy) / 2.0f;
        out.mirror[2] = scene.rotation[2];
      } else if (scene.movementMode == 2.0f) {
        scene.pan[2] += dx + dy;
        out.mirror[2] = scene.pan[2];
      } else if (scene.movementMode == 3.0f) {
        scene.scale[2] += dx + dy;
        out.mirror[2] = scene.scale[2];
      }
    } else if (scene.panelSubMode == 2.0f) {
      scene.spotLight[2] += (dx + dy) / 2.0f;
      out.mirror[2] = scene.spotLight[2];
    }
    return out;
  }

  NormaliseAngles(scene);
  const float tilt = std::fabs(scene.rotation[0]);
  if (tilt > 90.0f && tilt < 270.0f) {
    // Upside down: dragging right should still turn the front to the right.
    dx = -dx;
    scene.spinVelocity[0] = dx;
  }
  if (!panelOpen) {
    scene.rotation[0] += dy;
    scene.rotation[1] += dx;
  } else if (scene.panelSubMode <= 1.0f) {
    auto mirrorPair = [&out](float a, float b) {
      out.mirror[0] = a;
      out.mirror[1] = b;
    };
    if (scene.textureScrollMode <= 1.0f) {
      if (scene.movementMode <= 1.0f) {
        scene.rotation[0] += dy;
        scene.rotation[1] += dx;
        mirrorPair(scene.rotation[0], scene.rotation[1]);
      } else if (scene.movementMode == 2.0f) {
        applyPanRule(scene, scene.pan[0], scene.pan[1], dx, dy);
        mirrorPair(scene.pan[0], scene.pan[1]);
      } else if (scene.movementMode == 3.0f) {
        applyPanRule(scene, scene.scale[0], scene.scale[1], dx, dy);
        mirrorPair(scene.scale[0], scene.scale[1]);
      }
    } else {
      scene.textureScroll[0] += dy;
      scene.textureScroll[1] += dx;
      mirrorPair(scene.textureScroll[0], scene.textureScroll[1]);
    }
  } else if (scene.panelSubMode == 2.0f) {
    scene.spotLight[0] += dx;
    scene.spotLight[1] -= dy;
    out.mirror[0] = scene.spotLight[0];
    out.mirror[1] = scene.spotLight[1];
  }
  return out;
}

FaceButtonRequest RequestForFaceButton(SceneState& scene, FaceButton button) {
  const float kind = scene.productKind;
  const bool book = kind <= 1.0f;
  const bool paperBack = scene.bookBinding <= 1.0f;
  const bool box = kind == kProductBox;
  switch (button) {
    case FaceButton::Front:
      if (book) return {&scene.bookFrontLoadRequest, true};
      if (box || kind == kProductScreenShot) return {&scene.boxFrontLoadRequest, false};
      return {};
    case FaceButton::Back:
      if (book) return {&scene.bookBackLoadRequest, true};
      if (kind == kProductMug) return {&scene.mugLoadRequest, false};
      if (box) return {&scene.boxBackLoadRequest, false};
      return {};
    case FaceButton::Spine:
      if (book) return {&scene.bookSpineLoadRequest, true};
      if (box) return {&scene.boxLeftLoadRequest, false};
      return {};
    case FaceButton::Right:
      if (box) return {&scene.boxRightLoadRequest, false};
      if (book && paperBack) return {&scene.bookRightLoadRequest, false};
      return {};
    case FaceButton::Top:
      if (box) return {&scene.boxTopLoadRequest, false};
      if (book && paperBack) return {&scene.bookTopLoadRequest, false};
      return {};
    case FaceButton::Bottom:
      if (box) return {&scene.boxBottomLoadRequest, false};
      if (book && paperBack) return {&scene.bookBottomLoadRequest, false};
      return {};
  }
  return {};
}

void PressFaceButton(SceneState& scene, FaceButton button) {
  TakeBackHeldPose(scene);
  const FaceButtonRequest raised = RequestForFaceButton(scene, button);
  if (raised.request) *raised.request = 2.0f;
  if (raised.cover) scene.bookCoverChanged = 2.0f;
}

void SelectMovementMode(SceneState& scene, int mode) {
  // A shot with scale values is saved as a version that stores them.
  if (mode == 3) scene.formatVersion = std::string(1, '\x03');
  scene.panelSubMode = 0;
  scene.textureScrollMode = 0;
  scene.movementMode = static_cast<float>(mode);
}

std::optional<int> ParseDialogInteger(const std::string& text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;
  const size_t first = i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const size_t digitsStart = i;
  long long value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    ++i;
  }
  if (i == digitsStart) return std::nullopt;
  while (i < text.size() && blank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  if (value == 0 && text[first] != '0') return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace kestrova
