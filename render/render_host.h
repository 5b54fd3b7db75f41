#pragma once

namespace kestrova {

// Faces whose image can be requested from the frame.
enum class FaceRequest {
  BoxFront,
  BoxBack,
  BoxLeft,
  BoxRight,
  BoxTop,
  BoxBottom,
  BookFront,
  BookBack,
  BookSpine,
  BookRight,
  BookTop,
  BookBottom,
  Mug
};

// What the frame asks of the program around it. The renderer never opens a
// window itself: the view implements this and runs dialogs after the frame;
// headless rendering uses the no-op base.
class RenderHost {
 public:
  virtual ~RenderHost() = default;
  // The first frame asks for the introduction dialog.
  virtual void createIntroDialog() {}
  // A face's image request was cleared by the frame; the host shows the image
  // dialog and loads the chosen picture.
  virtual void requestFaceImage(FaceRequest) {}
  // Playback drew `frame`; the control panel's timeline shows it.
  virtual void showTimelineFrame(int /*frame*/) {}
  // Playback reached the last baked frame; the intro's Start button is enabled.
  virtual void enableIntroStart() {}
  // Playback copied track values into the scene; the panel mirrors them.
  virtual void syncPanelControls() {}
};

}  // namespace kestrova
