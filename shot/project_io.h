#pragma once
// Opening and saving a whole shot: the project file read and applied to the
// scene with its image reloads and the bake of its keys, presets from the
// Sequences folder, and saving through a temporary file.
#include <functional>
#include <string>
#include <vector>

#include "formats/project_file.h"
#include "scene/scene_state.h"

namespace kestrova {

// What loading needs of the control panel, when it is open. The defaults
// stand for a closed panel.
class ProjectPanel {
 public:
  virtual ~ProjectPanel() = default;
  virtual bool isOpen() const { return false; }
  // 0: the sliders show rotation; 1: they show pan.
  virtual int sliderMode() const { return 0; }
  virtual void setMovementSliders(int, int, int) {}
  // A loaded animation: timeline at 0, range 0 to `lastKeyFrame`, key marks.
  virtual void resetTimeline(int /*lastKeyFrame*/) {}
};

// What a load may fetch from the web. Projects and presets are exchanged:
// a file must not make the program reach out unasked.
struct WebPictures {
  bool allowed = false;  // fetch without asking (kestrova-render --allow-web)
  // Asked once per load, with the hosts named, when not allowed already.
  std::function<bool(const std::vector<std::string>& hosts)> ask;
};

struct ProjectResult {
  bool ok = false;
  std::string error;  // names the file and the fault
  // A loaded project whose pictures did not all load: "name: reason" each.
  // Those faces keep the picture they had.
  std::vector<std::string> faceErrors;
  // The faces among them whose picture was named but not loaded: the slot,
  // the name as stored and why.
  struct MissingFace {
    TextureSlot slot;
    std::string name;
    std::string reason;
  };
  std::vector<MissingFace> missingFaces;
};

// Where a face name stored in a project in `projectFolder` is read from: an
// absolute name that exists as it is; else beside the project (its folder,
// then its Boxes/, Books/ and Mug/); else, as older versions did, the name
// relative to the current directory (returned unchanged).
std::string ResolveFaceName(const std::string& name, const std::string& projectFolder);

// How a face loaded from `file` is stored in a project in `projectFolder`:
// relative to it when the file lies in it or below; the name it has now when
// that already leads to the file from the program's folder; else the
// absolute path.
std::string StoredFaceName(const std::string& file, const std::string& currentName,
                           const std::string& projectFolder, const std::string& programFolder);

// Saves the scene to `path` (which it sets to version 5 first). The file is
// written beside the target and renamed over it only when complete.
ProjectResult WriteProject(SceneState& scene, const std::string& path);

// Loads `path` into the scene: resets it to the load defaults, applies the
// file, reloads the ten images (relative to the current directory), bakes
// the keys and starts playback when there are keys. A file that cannot be
// read or is malformed leaves the scene exactly as it was. Needs a current GL
// context (clear colour and textures).
// The picture files a project's faces name, as reading it would find them
// (beside it where a name is not found); empty for a file that is no
// project. For checks made before anything is drawn.
std::vector<std::string> ProjectFaceFiles(const std::string& path);

ProjectResult ReadProject(SceneState& scene, const std::string& path, ProjectPanel* panel = nullptr,
                          const WebPictures* web = nullptr);

// Applies parsed data, as ReadProject does after reading.
// Faces whose picture could not be loaded are listed in `faceErrors`.
// Web pictures are fetched only as `web` allows (none without it).
// `projectFolder`: where the project lies, for the faces stored beside it.
void ApplyProject(SceneState& scene, const ProjectData& data, ProjectPanel* panel = nullptr,
                  std::vector<std::string>* faceErrors = nullptr, const WebPictures* web = nullptr,
                  const std::string& projectFolder = {},
                  std::vector<ProjectResult::MissingFace>* missing = nullptr);

// Loads preset `index` of sequenceNames (the project reader on
// "Sequences/<name>" from the program folder). Index 0, "Nothing Selected",
// and indices past the list change nothing.
// `userSequences` holds the user's own presets (SequencePath).
ProjectResult LoadPreset(SceneState& scene, int index, ProjectPanel* panel = nullptr,
                         const std::string& userSequences = {}, const WebPictures* web = nullptr);

}  // namespace kestrova
