#include "project_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "animation/keyframes.h"
#include "formats/file_read.h"
#include "formats/file_replace.h"
#include "shot/program_folder.h"
#include "render/scene_initialiser.h"
#include "pictures/http_fetch.h"
#include "pictures/picture.h"
#include "render/texture_loader.h"

namespace kestrova {

namespace {

bool atLeast(const std::string& version, unsigned char code) { return FormatVersionAtLeast(version, code); }

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

namespace fs = std::filesystem;

// The ten stored pictures: their path buffer, name entry and slot.
struct StoredImage {
  TexturePathIndex path;
  TextureNameIndex name;
  TextureSlot slot;
};
constexpr StoredImage kStoredImages[] = {
    {kPathBookFront, kNameBookFront, kSlotBookFront}, {kPathBookBack, kNameBookBack, kSlotBookBack},
    {kPathBookSpine, kNameBookSpine, kSlotBookSpine}, {kPathBoxFront, kNameBoxFront, kSlotBoxFront},
    {kPathBoxBack, kNameBoxBack, kSlotBoxBack},       {kPathBoxLeft, kNameBoxLeft, kSlotBoxLeft},
    {kPathBoxRight, kNameBoxRight, kSlotBoxRight},    {kPathBoxTop, kNameBoxTop, kSlotBoxTop},
    {kPathBoxBottom, kNameBoxBottom, kSlotBoxBottom}, {kPathMug, kNameMug, kSlotMug}};

bool isFile(const fs::path& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

fs::path normal(const std::string& path) {
  std::error_code ignored;
  return fs::absolute(fs::path(path), ignored).lexically_normal();
}

}  // namespace

std::string ResolveFaceName(const std::string& name, const std::string& projectFolder) {
  if (name.empty() || IsWebPictureName(name)) return name;
  const fs::path stored(name);
  if (stored.is_absolute() && isFile(stored)) return name;
  if (!projectFolder.empty() && !stored.is_absolute()) {
    const fs::path folder(projectFolder);
    if (isFile(folder / stored)) return (folder / stored).lexically_normal().string();
    for (const char* sub : {"Boxes", "Books", "Mug"}) {
      const fs::path beside = folder / sub / stored.filename();
      if (isFile(beside)) return beside.lexically_normal().string();
    }
  }
  return name;
}

std::string StoredFaceName(const std::string& file, const std::string& currentName,
                           const std::string& projectFolder, const std::string& programFolder) {
  if (file.empty() || IsWebPictureName(file)) return currentName;
  const fs::path picture = normal(file);
  if (!projectFolder.empty()) {
    const fs::path folder = normal(projectFolder);
    const fs::path relative = picture.lexically_relative(folder);
    if (!relative.empty() && *relative.begin() != "..") return relative.generic_string();
  }
  if (!currentName.empty() && !programFolder.empty() && !fs::path(currentName).is_absolute() &&
      normal((fs::path(programFolder) / currentName).string()) == picture) {
    return currentName;
  }
  return picture.string();
}

ProjectResult WriteProject(SceneState& scene, const std::string& path) {
  ProjectResult result;
  std::string reason;
  // Each face named so this project finds its picture again, wherever it
  // was picked from; the shot in memory keeps its own names.
  const std::array<std::string, kTextureNameCount> names = scene.textureName;
  const std::string folder = normal(path).parent_path().string();
  for (const StoredImage& image : kStoredImages) {
    std::string& name = scene.textureName[image.name];
    name = StoredFaceName(scene.artwork[image.slot].path, name, folder, scene.programFolder);
  }
  const std::vector<uint8_t> bytes = SerialiseProject(scene);
  scene.textureName = names;
  if (!ReplaceFile(path, bytes, &reason)) {
    result.error = "Kestrova could not save " + quoted(path) + ": " + reason + ". The file was left as it was.";
    return result;
  }
  scene.formatVersion = std::string(1, '\x05');
  result.ok = true;
  return result;
}

void ApplyProject(SceneState& scene, const ProjectData& d, ProjectPanel* panel, std::vector<std::string>* faceErrors,
                  const WebPictures* web, const std::string& projectFolder,
                  std::vector<ProjectResult::MissingFace>* missing) {
  ClearAnimationTracks(scene);
  scene.rotation = {30, 30, 0};
  scene.pan = {0, 0, 0};
  scene.spotLight = {0, 0, 0};
  scene.boxSize = {0.26f, 0.21f, 0.035f};
  scene.scale = {0, 14, -45};
  scene.backgroundColor = {255, 255, 255};
  ApplyClearColor(scene);
  scene.imagePathIsAbsolute = 2;
  scene.bookBinding = 2;
  scene.spinValue() = 0;
  scene.spinGuard = 2;
  if (panel && panel->isOpen()) {
    // The panel's sliders move on with the last drag; the values themselves
    // come from the file just below.
    if (panel->sliderMode() == 0) {
      scene.rotation[0] += scene.spinVelocity[1];
      scene.rotation[1] += scene.spinVelocity[0];
      panel->setMovementSliders(static_cast<int>(scene.rotation[0]), static_cast<int>(scene.rotation[1]),
                                static_cast<int>(scene.rotation[2]));
    } else if (panel->sliderMode() == 1) {
      scene.pan[0] += scene.spinVelocity[0];
      scene.pan[1] -= scene.spinVelocity[1];
      panel->setMovementSliders(static_cast<int>(scene.pan[0]), static_cast<int>(scene.pan[1]),
                                static_cast<int>(scene.pan[2]));
    }
  }
  scene.boxStyle = 0;
  scene.productKind = kProductBox;
  scene.baseRotation = scene.rotation;
  scene.basePan = scene.pan;
  scene.baseSpot = scene.spotLight;
  scene.scale = {0, 0, 0};
  scene.baseScale = scene.scale;
  scene.panelReady = 0;

  scene.lightingMode = d.lightingMode;
  scene.textureScroll = d.textureScroll;
  scene.formatVersion = d.formatVersion;
  if (d.hasBoxStyle) {
    scene.boxStyle = d.boxStyle;
    scene.scale = BoxStyleScale(d.boxStyle);
  }
  if (d.hasWebsiteLink) scene.websiteLink() = d.websiteLink;
  for (size_t i = 0; i < kTextureNameCount; ++i) {
    if (i == kNameWebsiteLink || i == kNameSpare) continue;
    if (i == kNameBookFront && !atLeast(d.formatVersion, 4)) continue;  // not in older files
    scene.textureName[i] = d.names[i];
  }
  for (size_t i = 0; i < kTextureNameLengthCount; ++i) {
    const bool stored = i <= kLengthBookSpine || i >= kLengthMug;
    if (stored) scene.textureNameLength[i] = d.lengths[i];
  }
  scene.productKind = d.productKind;
  scene.rotation = d.rotation;
  scene.pan = d.pan;
  scene.spotLight = d.spotLight;
  if (d.hasScale) scene.scale = d.scale;
  scene.viewWidth = d.viewWidth;
  scene.viewHeight = d.viewHeight;
  scene.bookBinding = d.bookBinding;
  scene.boxSize = d.boxSize;
  scene.spinValue() = d.spinValue;
  scene.bookStyle = d.bookStyle;
  scene.backgroundColor = d.backgroundColor;
  scene.bookFlag = d.bookFlag;
  // Without the extension block the shot keeps the floor and look it has.
  if (d.hasExtension) {
    scene.studioFloor = d.floor;
    scene.look = d.look;
  }

  ApplyClearColor(scene);
  scene.spinGuard = 2;
  scene.imagePathIsAbsolute = 0;  // stored names are relative to the current directory

  const auto& images = kStoredImages;
  // Web pictures: asked about once for the whole load, fetched against one
  // deadline.
  // Each is asked about by the host it would be fetched from, read as the
  // fetch reads it; a name that would show one host and reach another is
  // refused outright.
  std::vector<std::string> hosts;
  std::vector<std::string> refusedNames;
  for (const auto& image : images) {
    const std::string& name = scene.textureName[image.name];
    if (!IsWebPictureName(name)) continue;
    std::string why;
    const std::string host = WebPictureHost(name, &why);
    if (host.empty()) {
      // Refused is missing too: a render must not draw the default picture
      // in its place without a word.
      if (faceErrors) faceErrors->push_back(why);
      if (missing) missing->push_back({image.slot, name, why});
      refusedNames.push_back(name);
      continue;
    }
    if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) hosts.push_back(host);
  }
  const bool webAllowed = !hosts.empty() && web && (web->allowed || (web->ask && web->ask(hosts)));
  WebFetchDeadline deadline;
  for (const auto& image : images) {
    const std::string& name = scene.textureName[image.name];
    // An empty name keeps the slot's picture.
    if (name.empty()) continue;
    if (std::find(refusedNames.begin(), refusedNames.end(), name) != refusedNames.end()) continue;
    if (IsWebPictureName(name) && !webAllowed) {
      if (faceErrors) faceErrors->push_back(name + ": not fetched from the web");
      if (missing) missing->push_back({image.slot, name, "not fetched from the web"});
      continue;
    }
    char* buffer = scene.texturePath[image.path];
    const size_t copied = std::min<size_t>(name.size(), kPathBufferSize - 1);
    std::memcpy(buffer, name.data(), copied);
    buffer[copied] = '\0';
    std::string why;
    const std::string found = ResolveFaceName(name, projectFolder);
    const float absolute = scene.imagePathIsAbsolute;
    // Found beside the project, or where an absolute name says.
    if (found != name || (fs::path(found).is_absolute() && isFile(found))) scene.imagePathIsAbsolute = 2;
    bool loaded = false;
    std::error_code none;
    const fs::file_status status = fs::status(name, none);
    if (found == name && fs::path(name).is_absolute() && fs::exists(status) && !fs::is_regular_file(status)) {
      // A device, a pipe or a folder named outright is no picture: never
      // read, and not looked for under the program's folder either.
      why = "Cannot use " + name + ": it is not a picture file (a device, a pipe or a folder).";
    } else if (found == name && fs::path(name).is_absolute() && !fs::exists(status) &&
               !isFile(fs::current_path(none).string() + "/" + name)) {
      why = "Cannot open " + name + ": No such file or directory.";
    } else {
      loaded = LoadTexture(scene, found, scene.textureSlot[image.slot], &why);
    }
    scene.imagePathIsAbsolute = absolute;
    if (!loaded) {
      if (faceErrors) faceErrors->push_back(name + ": " + why);
      if (missing) missing->push_back({image.slot, name, why});
    }
  }

  scene.keyCount = static_cast<int32_t>(d.keys.size());
  scene.baseRotation = d.baseRotation;
  scene.basePan = d.basePan;
  scene.baseSpot = d.baseSpot;
  if (atLeast(d.formatVersion, 3)) scene.baseScale = d.baseScale;
  for (size_t i = 0; i < d.keys.size(); ++i) {
    const StoredKey& key = d.keys[i];
    scene.keyFrameNumbers[i + 1] = key.frame;
    const auto frame = static_cast<size_t>(key.frame);
    for (size_t c = 0; c < 3; ++c) {
      scene.keyRotation[c][frame] = key.values[c];
      scene.keyPan[c][frame] = key.values[3 + c];
      scene.keySpot[c][frame] = key.values[6 + c];
      scene.keyScale[c][frame] = key.values[9 + c];
    }
  }
  // Keys out of frame order would bake segments of negative length: put them
  // in order and bake all of them.
  RebakeAnimation(scene);
  scene.keysFromFile = true;
  // A shot without keys is still: an animation playing before the load would
  // otherwise paint its emptied tracks over the loaded pose.
  scene.playing = false;
  if (scene.keyCount >= 1) {
    scene.playing = true;
    if (panel && panel->isOpen()) {
      scene.currentFrame = 0;
      panel->resetTimeline(scene.keyFrameNumbers[static_cast<size_t>(scene.keyCount)]);
    }
  }
}

std::vector<std::string> ProjectFaceFiles(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadRegularFile(path, kMaxProjectFileBytes, bytes, &reason)) return {};
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  if (!parse.ok) return {};
  const fs::path folder = normal(path).parent_path();
  std::vector<std::string> files;
  for (const StoredImage& image : kStoredImages) {
    const std::string& name = parse.data.names[image.name];
    if (name.empty() || IsWebPictureName(name)) continue;
    const std::string found = ResolveFaceName(name, folder.string());
    // A name not found is looked for beside the project first.
    files.push_back(fs::path(found).is_absolute() ? found : (folder / found).lexically_normal().string());
  }
  return files;
}

ProjectResult ReadProject(SceneState& scene, const std::string& path, ProjectPanel* panel, const WebPictures* web) {
  ProjectResult result;
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadRegularFile(path, kMaxProjectFileBytes, bytes, &reason)) {
    result.error = "Kestrova could not open " + quoted(path) + ": " + reason + ".";
    return result;
  }
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  if (!parse.ok) {
    result.error = quoted(path) + " is not a Kestrova project Kestrova can read: " + parse.error +
                   ". Your shot was left as it was.";
    return result;
  }
  ApplyProject(scene, parse.data, panel, &result.faceErrors, web, normal(path).parent_path().string(),
               &result.missingFaces);
  result.ok = true;
  return result;
}

ProjectResult LoadPreset(SceneState& scene, int index, ProjectPanel* panel, const std::string& userSequences,
                         const WebPictures* web) {
  if (index <= 0 || index > scene.sequenceCount || index >= kSequenceCapacity) return {true, {}, {}, {}};
  std::error_code ignored;
  std::filesystem::current_path(scene.programFolder, ignored);
  scene.selectedPreset = index;
  return ReadProject(scene, SequencePath(scene, index, userSequences), panel, web);
}

}  // namespace kestrova
