#pragma once
// Checking the artwork against a picture size before drawing it: for each
// face of the shot, how large its picture is shown and whether it will look
// soft (stretched) or squeezed (another shape than the face). Needs a current
// GL context holding the shot's textures (the view's or a headless one).
#include <array>
#include <string>
#include <vector>

#include "scene/scene_state.h"

namespace kestrova {

// A face is soft past this stretch, and squeezed past this aspect difference.
constexpr double kMaxStretch = 1.5;
constexpr double kMaxAspectDifference = 0.05;

struct FaceCheck {
  TextureSlot slot = kSlotBoxFront;
  std::string face;  // "Front", "Spine", "Wrap", ...
  std::string path;  // the artwork's file
  int artworkWidth = 0;  // its own pixels (a drawing's at 96 per inch)
  int artworkHeight = 0;
  bool scalable = false;  // a drawing: drawn at the size it is shown, never stretched
  bool seen = false;      // its front faces the camera in this pose; only then does it warn
  // The whole picture's size in pixels where the face shows it largest:
  // along the picture's width and along its height.
  double shownWidth = 0;
  double shownHeight = 0;
  // shown / artwork, the larger of the two; 1 for a drawing drawn to fit.
  double stretch = 0;
  // The picture's width-to-height against the face's, as the shot shapes it:
  // artwork aspect / face aspect - 1 (0.1: the picture is drawn 10 % narrower).
  double aspectDifference = 0;
  std::vector<std::string> warnings;
};

// Every face of the product the shot shows that holds a picture of a file,
// for a picture of width x height pixels in the shot's pose.
std::vector<FaceCheck> CheckArtwork(SceneState& scene, int width, int height);

// The program's own pictures drawn to be stretched over any face (the page
// edges): listed, never warned about.
bool MeantToStretch(const std::string& path);

// Whether any face has a warning.
bool AnyWarnings(const std::vector<FaceCheck>& checks);

// The longer side in pixels each slot's picture is shown at (0: not shown),
// for sharpening drawings before a large picture.
std::array<int, kTextureSlotCount> ShownSides(const std::vector<FaceCheck>& checks);

// A check's numbers as the table shows them: "1200 x 1600", "1.52x", "+6.3 %".
std::string ArtworkSizeText(const FaceCheck& check);
std::string ShownSizeText(const FaceCheck& check);
std::string StretchText(const FaceCheck& check);
std::string AspectText(const FaceCheck& check);

// The checks as a plain-text table with a header row.
std::string ArtworkTable(const std::vector<FaceCheck>& checks, int width, int height);

}  // namespace kestrova
