#pragma once
// What the control panel asks of the window around it. The panel edits the
// scene record directly; everything else goes through here, so the panel
// never includes the application's headers.
#include <string>

namespace kestrova {

class PanelHost {
 public:
  virtual ~PanelHost() = default;
  // The main window's status-bar message.
  virtual void setStatusText(const std::string& text) = 0;
  // A message box over the panel (the integer rule's complaint).
  virtual void showPanelMessage(const std::string& text) = 0;
  // Opens an http or https address in the browser; anything else is ignored.
  virtual void openWebLink(const std::string& url) = 0;
  // The timeline moved: show its frame of the baked animation.
  virtual void seekToFrame() = 0;
  // Something the panel wrote into the scene wants a new frame.
  virtual void sceneChanged() = 0;
  // Loads preset `index` of the Sequences listing and starts it.
  virtual void loadPreset(int index) = 0;
  // Saves the shot as a new preset in the Sequences folder.
  virtual void addToPresets() = 0;
  // The panel is going away; it must no longer be reached.
  virtual void panelClosing() = 0;
};

}  // namespace kestrova
