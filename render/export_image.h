#pragma once
// Pictures of a shot beyond the view: any size (drawn in tiles when larger
// than the GL draws at once), supersampled for smooth edges, and with a
// transparent background. Draws into framebuffer objects of the current
// context, so it needs one (headless or the view's).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "render/render_host.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

namespace kestrova {

struct ExportOptions {
  int width = 1280;
  int height = 720;
  int supersample = 1;       // 1 to 4: drawn at N times the size, filtered down
  bool transparent = false;  // the background becomes alpha 0, straight alpha
  int maxTile = 0;           // the largest tile side; 0: the GL's largest renderbuffer, at most 4096
  std::optional<int> frame;  // a frame of the baked animation, else the still shot
  // Asked between tiles: true stops the picture there (the program is
  // asked to end), failing with "stopped".
  std::function<bool()> stop;
};

// A headless context going away: the framebuffer kept for its next picture
// goes with it.
void ForgetExportFramebuffer(void* eglContext);

// The largest side an exported picture may have.
constexpr int kMaxExportSide = 32768;

// A turntable of `seconds` at `fps`: how many frames, and the turn about the
// vertical axis of frame `index`. Frame i stands at 360 * i / frames degrees
// on from `start`, so the last frame is one step short of the first and the
// loop closes without a repeated frame.
int TurntableFrames(double seconds, int fps);
float TurntableAngle(float start, int index, int frames);

// Receives a picture as it is drawn: `rows` whole top-down RGBA rows from
// `firstRow` on, in order. Returns false (with `error` set) to stop.
using ExportRows = std::function<bool(const uint8_t* rgba, int firstRow, int rows, std::string* error)>;

// Draws the shot as `options` say, handing it to `sink` a band of rows at a
// time, so memory grows with the picture's width, not its area. On failure
// `error` says why.
bool RenderExportRows(SceneState& scene, RenderHost& host, const ExportOptions& options, const ExportRows& sink,
                      std::string* error);

// Draws the shot as `options` say. On failure the image is empty and `error`
// says why.
RgbaImage RenderExport(SceneState& scene, RenderHost& host, const ExportOptions& options, std::string* error);

}  // namespace kestrova
