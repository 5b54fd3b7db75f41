#include "render_to_image.h"

#include "headless_context.h"
#include "read_framebuffer.h"
#include "render/classic/render_frame.h"

namespace kestrova {

RgbaImage RenderToImage(SceneState& scene, RenderHost& host, int width, int height,
                        std::optional<int> frame) {
  ApplyViewSize(scene, width, height);
  if (frame) {
    scene.currentFrame = *frame;
    scene.playing = true;
  }
  RenderFrame(scene, host);
  return ReadFramebuffer(width, height);
}

RgbaImage RenderHeadless(SceneState& scene, int width, int height, std::optional<int> frame,
                         std::string* error) {
  HeadlessContext context(width, height);
  if (!context.isValid()) {
    if (error) *error = "no headless OpenGL context: " + context.error();
    return {};
  }
  RenderHost host;
  return RenderToImage(scene, host, width, height, frame);
}

}  // namespace kestrova
