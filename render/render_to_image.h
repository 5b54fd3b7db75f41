#pragma once
#include <optional>
#include <string>

#include "render/render_host.h"
#include "scene/rgba_image.h"
#include "scene/scene_state.h"

namespace kestrova {

// Renders one frame of `scene` into the current context (which must be at
// least width x height) and reads it back. With `frame`, the frame of the
// baked animation is drawn through the playback path.
RgbaImage RenderToImage(SceneState& scene, RenderHost& host, int width, int height,
                        std::optional<int> frame = std::nullopt);

// The same without a window: an EGL pbuffer of the given size. On failure the
// image is empty and `error` says why.
RgbaImage RenderHeadless(SceneState& scene, int width, int height, std::optional<int> frame,
                         std::string* error);

}  // namespace kestrova
