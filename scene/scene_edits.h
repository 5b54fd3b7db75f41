#pragma once
// The rules by which mouse drags and the control panel's sliders edit the
// shot. Plain functions on the scene record, so the window code only wires
// widgets to them and the rules test without a window.
#include <array>
#include <optional>
#include <string>

#include "scene/scene_state.h"

namespace kestrova {

// What the panel's three sliders and their edits drive: up to three floats
// of the scene (the texture scroll has two; `values[2]` is then null).
struct SliderTarget {
  std::array<float*, 3> values{};
  int count = 3;
  int minimum = -360;
  int maximum = 360;
};

// Spot light while spot editing; else the texture scroll while it is
// selected; else rotation, pan and zoom or scale by movementMode.
SliderTarget CurrentSliderTarget(SceneState& scene);

// How sliders and edits show a float: truncated toward zero, held to the
// range of an int (a float beyond it would be undefined to convert).
int ShownValue(float value);

// Brings each rotation angle into [-360, 360] in steps of 720 (not 360: an
// angle of 400 becomes -320, the same pose).
void NormaliseAngles(SceneState& scene);

// An animation that has played to its end holds its last frame, drawing
// its tracks' pose over anything the user does: the first drag or face
// button stops it there and the pose is the user's. True when it stopped.
bool TakeBackHeldPose(SceneState& scene);

// Button press on the view: the drag starts here with no step yet (and a
// held last frame gives its pose back).
void BeginDrag(SceneState& scene, bool rightButton, int x, int y);
// Button release: a left release ends the drag but keeps a right drag's mode
// until the right button comes up.
void EndDrag(SceneState& scene, bool rightButton);

// What a mouse move changed that the open panel must show: slider `i` and
// its edit show `mirror[i]` when it is set.
struct DragOutcome {
  bool moved = false;  // the drag is on: the view wants a new frame
  std::array<std::optional<float>, 3> mirror{};
};

// A mouse move to (x, y) during a drag: half a unit per pixel, applied to the
// values the button and the panel's modes choose. With Control held the shot
// stays put but the drag follows the cursor, so releasing Control does not
// jump. `panelOpen` selects the panel's modes; without the panel a left drag
// always turns about X and Y and a right drag about Z.
DragOutcome DragTo(SceneState& scene, int x, int y, bool control, bool panelOpen);

// The control panel's six face buttons, by the captions a box shows.
enum class FaceButton { Front, Back, Spine, Right, Top, Bottom };

// The image request a face button raises for the product shown, or null
// where the button asks for nothing (a hard back has no page faces; the
// board has only its front). `cover`: the book's cover is rebuilt.
struct FaceButtonRequest {
  float* request = nullptr;
  bool cover = false;
};
FaceButtonRequest RequestForFaceButton(SceneState& scene, FaceButton button);
// Raises that request (2: the next frame opens the image dialog).
void PressFaceButton(SceneState& scene, FaceButton button);

// The Rotate (0), Pan and Zoom (2) and Scale (3) radios: spot editing and
// the texture scroll end. Scale marks the shot as a version that stores
// scale, so its scale track plays.
void SelectMovementMode(SceneState& scene, int mode);

// The dialog's integer rule for typed numbers: after blanks, a signed decimal
// number followed only by blanks. 0 counts only when the first non-blank
// character is '0', so "", "-" and "-0" are refused; so is anything past the
// range of an int.
std::optional<int> ParseDialogInteger(const std::string& text);

constexpr const char* kEnterAnInteger = "Please enter an integer.";

}  // namespace kestrova
