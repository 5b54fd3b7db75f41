#pragma once

// The document of the single-document frame. Nothing of the shot lives here:
// the view owns the scene and reads and writes project files itself.
class CGlimvoDoc {
 public:
  bool OnNewDocument() { return true; }
};
