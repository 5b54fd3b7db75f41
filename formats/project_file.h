#pragma once
// Project files (.TSMR): one whole shot with its animation, as a flat
// little-endian stream of 64 header fields and the key records. The same
// format holds the presets and the sample animations.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/scene_state.h"

namespace kestrova {

// One key as stored: its frame and twelve values in track order.
struct StoredKey {
  int32_t frame = 0;
  std::array<float, 12> values{};
};

// Everything a project file holds, read before anything of the scene is
// touched. Fields a file of an older version lacks keep these defaults.
struct ProjectData {
  std::string formatVersion;
  int version = 0;  // the version character, above 5 read as 5
  float lightingMode = 0;
  std::array<float, 2> textureScroll{};
  bool hasBoxStyle = false;
  float boxStyle = 0;
  std::string websiteLink;
  bool hasWebsiteLink = false;
  // Stored names and lengths, indexed as SceneState::textureName and
  // SceneState::textureNameLength.
  std::array<std::string, kTextureNameCount> names;
  std::array<float, kTextureNameLengthCount> lengths{};
  float productKind = 0;
  Vec3 rotation{};
  Vec3 pan{};
  Vec3 spotLight{};
  bool hasScale = false;
  Vec3 scale{};
  int32_t viewWidth = 0;
  int32_t viewHeight = 0;
  float bookBinding = 0;
  Vec3 boxSize{};  // height, width, depth (stored width, height, depth)
  float spinValue = 0;
  int32_t bookStyle = 0;
  Vec3 backgroundColor{};
  float bookFlag = 0;
  Vec3 baseRotation{};
  Vec3 basePan{};
  Vec3 baseSpot{};
  Vec3 baseScale{};
  std::vector<StoredKey> keys;
  // The extension block after the keys: what the layout above has no room
  // for. Files without it (and every older reader) never see these.
  bool hasExtension = false;
  StudioFloor floor;
  StudioLook look;
};

// "KSTX": the extension block's magic, then its length (u32) and records of
// a 16-bit tag, a 32-bit length and the record's bytes. Unknown records are
// skipped, so a later version can add its own.
constexpr uint8_t kExtensionMagic[4] = {'K', 'S', 'T', 'X'};
constexpr uint32_t kMaxExtensionBytes = 1u << 20;
// The longest text the extension block keeps (a browser window's title, an
// environment picture's name): refused where it is typed or read, so that
// every shot held can be saved and opened again.
constexpr size_t kMaxShotText = 4096;

struct ProjectParse {
  bool ok = false;
  ProjectData data;
  std::string error;  // what is wrong, for the user
};

// Keys a file may hold: one slot of the key list stays for frame 0.
constexpr int kMaxStoredKeys = kKeyCapacity - 1;

// Reads a whole file held in memory; refuses truncated files, key counts past
// the key list and frames outside 0 to 9999.
ProjectParse ParseProject(const uint8_t* bytes, size_t size);

// The stream a scene is saved as (version 5, every field), with the
// extension block only when the shot's floor or look differ from the
// defaults.
std::vector<uint8_t> SerialiseProject(const SceneState& scene);

// The scale a box style gives to files of version 2 and later.
Vec3 BoxStyleScale(float boxStyle);

}  // namespace kestrova
