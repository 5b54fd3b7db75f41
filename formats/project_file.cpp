#include "project_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "io/texture_loader.h"
#include "panel/keyframes.h"
#include "render/scene_initialiser.h"

namespace kestrova {

namespace {

// The names a file stores, in stream order after the book front name: book
// back, book spine (then three lengths), mug (and its length), then the box
// faces bottom, top, right, left, back, front, each followed by its length.
constexpr TextureNameIndex kBoxNamesInStreamOrder[] = {kNameBoxBottom, kNameBoxTop, kNameBoxRight,
                                                      kNameBoxLeft, kNameBoxBack, kNameBoxFront};
constexpr TextureNameLengthIndex kBoxLengthsInStreamOrder[] = {
    kLengthBoxBottom, kLengthBoxTop, kLengthBoxRight, kLengthBoxLeft, kLengthBoxBack, kLengthBoxFront};

// A name longer than this is no file name; it would only fill memory.
constexpr uint32_t kMaxStringLength = 16u * 1024 * 1024;

class Reader {
 public:
  Reader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  float f32(const char* what) {
    float v;
    take(&v, 4, what);
    return v;
  }
  int32_t i32(const char* what) {
    int32_t v;
    take(&v, 4, what);
    return v;
  }
  Vec3 vec3(const char* what) { return {f32(what), f32(what), f32(what)}; }

  // The framework's string: a byte length below 255; else 0xFF and a 16-bit
  // length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length. 0xFF 0xFFFE
  // announces a string of 16-bit characters, whose length follows again.
  std::string str(const char* what) {
    bool wide = false;
    uint32_t length = prefix(what, &wide);
    if (length > kMaxStringLength) fail(std::string("the ") + what + " is absurdly long");
    if (!wide) {
      std::string text(length, '\0');
      take(text.data(), length, what);
      return text;
    }
    std::string text;
    for (uint32_t i = 0; i < length; ++i) {
      uint16_t c;
      take(&c, 2, what);
      if (c < 0x80) {
        text += static_cast<char>(c);
      } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return text;
  }

  size_t offset() const { return at_; }

  struct Failure {
    std::string reason;
  };
  [[noreturn]] void fail(const std::string& reason) const { throw Failure{reason}; }

 private:
  uint32_t prefix(const char* what, bool* wide) {
    uint8_t b;
    take(&b, 1, what);
    if (b < 0xFF) return b;
    uint16_t w;
    take(&w, 2, what);
    if (w == 0xFFFE) {
      if (*wide) fail(std::string("the ") + what + " has a malformed length");
      *wide = true;
      return prefix(what, wide);
    }
    if (w < 0xFFFF) return w;
    uint32_t l;
    take(&l, 4, what);
    return l;
  }

  void take(void* out, size_t n, const char* what) {
    if (n > size_ - at_) {
      fail("the file ends in the middle of the " + std::string(what) + " (byte " + std::to_string(at_) + ")");
    }
    std::memcpy(out, bytes_ + at_, n);
    at_ += n;
  }

  const uint8_t* bytes_;
  size_t size_;
  size_t at_ = 0;
};

class Writer {
 public:
  std::vector<uint8_t> bytes;
  void f32(float v) { put(&v, 4); }
  void i32(int32_t v) { put(&v, 4); }
  void vec3(const Vec3& v) {
    for (float c : v) f32(c);
  }
  void str(const std::string& text) {
    const size_t n = text.size();
    if (n < 0xFF) {
      u8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
      u8(0xFF);
      u16(static_cast<uint16_t>(n));
    } else {
      u8(0xFF);
      u16(0xFFFF);
      const auto n32 = static_cast<uint32_t>(n);
      put(&n32, 4);
    }
    put(text.data(), n);
  }

 private:
  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v) { put(&v, 2); }
  void put(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
  }
};

bool atLeast(const std::string& version, unsigned char code) { return FormatVersionAtLeast(version, code); }

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

Vec3 BoxStyleScale(float boxStyle) {
  static const Vec3 kPresets[8] = {{0, 14, -45},  {0, 14, -41},  {-22, -8, -48}, {-22, -8, -50},
                                   {-17, -22, -49}, {-17, -22, -50}, {-35, -24, -47}, {0, 0, 0}};
  if (!(boxStyle > 0.0f)) return kPresets[0];
  for (int style = 1; style < 8; ++style) {
    if (boxStyle == static_cast<float>(style)) return kPresets[style];
  }
  return {0, 0, 0};
}

ProjectParse ParseProject(const uint8_t* bytes, size_t size) {
  ProjectParse parse;
  ProjectData& d = parse.data;
  Reader in(bytes, size);
  try {
    d.lightingMode = in.f32("lighting switch");
    d.textureScroll[0] = in.f32("texture scroll");
    d.textureScroll[1] = in.f32("texture scroll");
    d.formatVersion = in.str("version");
    const std::string& v = d.formatVersion;
    d.version = v.empty() ? 0 : std::min<int>(static_cast<unsigned char>(v[0]), 5);
    if (atLeast(v, 2)) {
      d.hasBoxStyle = true;
      d.boxStyle = in.f32("box style");
    }
    if (atLeast(v, 5)) {
      d.hasWebsiteLink = true;
      d.websiteLink = in.str("web link");
    }
    if (atLeast(v, 4)) d.names[kNameBookFront] = in.str("book front image name");
    d.names[kNameBookBack] = in.str("book back image name");
    d.names[kNameBookSpine] = in.str("book spine image name");
    d.lengths[kLengthBookFront] = in.f32("image name length");
    d.lengths[kLengthBookBack] = in.f32("image name length");
    d.lengths[kLengthBookSpine] = in.f32("image name length");
    d.names[kNameMug] = in.str("mug image name");
    d.lengths[kLengthMug] = in.f32("image name length");
    for (size_t i = 0; i < 6; ++i) {
      d.names[kBoxNamesInStreamOrder[i]] = in.str("box image name");
      d.lengths[kBoxLengthsInStreamOrder[i]] = in.f32("image name length");
    }
    d.productKind = in.f32("product kind");
    d.rotation = in.vec3("rotation");
    d.pan = in.vec3("pan");
    d.spotLight = in.vec3("spot light");
    if (atLeast(v, 3)) {
      d.hasScale = true;
      d.scale = in.vec3("scale");
    }
    d.viewWidth = in.i32("view size");
    d.viewHeight = in.i32("view size");
    d.bookBinding = in.f32("book binding");
    d.boxSize[1] = in.f32("box size");
    d.boxSize[0] = in.f32("box size");
    d.boxSize[2] = in.f32("box size");
    d.spinValue = in.f32("spin value");
    d.bookStyle = in.i32("book style");
    d.backgroundColor = in.vec3("background colour");
    d.bookFlag = in.f32("book flag");
    const int32_t keyCount = in.i32("key count");
    if (keyCount < 0 || keyCount > kMaxKeys) {
      in.fail("it claims " + std::to_string(keyCount) + " keys; a shot holds 0 to " +
              std::to_string(kMaxKeys));
    }
    d.baseRotation = in.vec3("start values");
    d.basePan = in.vec3("start values");
    d.baseSpot = in.vec3("start values");
    if (atLeast(v, 3)) d.baseScale = in.vec3("start values");
    // Every key must be there before any memory is set aside for them.
    const size_t perKey = atLeast(v, 3) ? 52 : 40;
    if (static_cast<size_t>(keyCount) * perKey > size - in.offset()) {
      in.fail("it claims " + std::to_string(keyCount) + " keys but holds only " +
              std::to_string((size - in.offset()) / perKey));
    }
    d.keys.resize(static_cast<size_t>(keyCount));
    for (StoredKey& key : d.keys) {
      key.frame = in.i32("key frame");
      if (key.frame < 0 || key.frame > kLastFrame) {
        in.fail("a key stands at frame " + std::to_string(key.frame) + "; frames run from 0 to " +
                std::to_string(kLastFrame));
      }
      for (size_t i = 0; i < 9; ++i) key.values[i] = in.f32("key");
      if (atLeast(v, 3)) {
        for (size_t i = 9; i < 12; ++i) key.values[i] = in.f32("key");
      }
    }
  } catch (const Reader::Failure& failure) {
    parse.error = failure.reason;
    return parse;
  }
  parse.ok = true;
  return parse;
}

std::vector<uint8_t> SerialiseProject(const SceneState& scene) {
  Writer out;
  out.f32(scene.lightingMode);
  out.f32(scene.textureScroll[0]);
  out.f32(scene.textureScroll[1]);
  out.str(std::string(1, '\x05'));
  out.f32(scene.boxStyle);
  out.str(scene.textureName[kNameWebsiteLink]);
  out.str(scene.textureName[kNameBookFront]);
  out.str(scene.textureName[kNameBookBack]);
  out.str(scene.textureName[kNameBookSpine]);
  out.f32(scene.textureNameLength[kLengthBookFront]);
  out.f32(scene.textureNameLength[kLengthBookBack]);
  out.f32(scene.textureNameLength[kLengthBookSpine]);
  out.str(scene.textureName[kNameMug]);
  out.f32(scene.textureNameLength[kLengthMug]);
  for (size_t i = 0; i < 6; ++i) {
    out.str(scene.textureName[kBoxNamesInStreamOrder[i]]);
    out.f32(scene.textureNameLength[kBoxLengthsInStreamOrder[i]]);
  }
  out.f32(scene.productKind);
  out.vec3(scene.rotation);
  out.vec3(scene.pan);
  out.vec3(scene.spotLight);
  out.vec3(scene.scale);
  out.i32(scene.viewWidth);
  out.i32(scene.viewHeight);
  out.f32(scene.bookBinding);
  out.f32(scene.boxSize[1]);
  out.f32(scene.boxSize[0]);
  out.f32(scene.boxSize[2]);
  out.f32(scene.spinSizes[3]);
  out.i32(scene.bookStyle);
  out.vec3(scene.backgroundColor);
  out.f32(scene.bookFlag);
  out.i32(scene.keyCount);
  out.vec3(scene.baseRotation);
  out.vec3(scene.basePan);
  out.vec3(scene.baseSpot);
  out.vec3(scene.baseScale);
  for (int i = 1; i <= scene.keyCount; ++i) {
    const int32_t frame = scene.keyFrameNumbers[static_cast<size_t>(i)];
    out.i32(frame);
    const KeyValues values = KeyTrackValues(scene, std::clamp(frame, 0, kLastFrame));
    for (float value : values) out.f32(value);
  }
  return out.bytes;
}

ProjectResult WriteProject(SceneState& scene, const std::string& path) {
  ProjectResult result;
  const std::vector<uint8_t> bytes = SerialiseProject(scene);
  const std::string temporary = path + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    result.error = "Kestrova could not save " + quoted(path) + ": " + std::strerror(errno) + ".";
    return result;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = std::fflush(file) == 0;
  const int savedErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !flushed || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno ? errno : savedErrno;
    std::remove(temporary.c_str());
    result.error = "Kestrova could not save " + quoted(path) + ": " + std::strerror(error) +
                   ". The file was left as it was.";
    return result;
  }
  scene.formatVersion = std::string(1, '\x05');
  result.ok = true;
  return result;
}

void ApplyProject(SceneState& scene, const ProjectData& d, ProjectPanel* panel) {
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

  ApplyClearColor(scene);
  scene.spinGuard = 2;
  scene.imagePathIsAbsolute = 0;  // stored names are relative to the current directory

  const struct {
    TexturePathIndex path;
    TextureNameIndex name;
    TextureSlot slot;
  } images[] = {{kPathBookFront, kNameBookFront, kSlotBookFront}, {kPathBookBack, kNameBookBack, kSlotBookBack},
                {kPathBookSpine, kNameBookSpine, kSlotBookSpine}, {kPathBoxFront, kNameBoxFront, kSlotBoxFront},
                {kPathBoxBack, kNameBoxBack, kSlotBoxBack},       {kPathBoxLeft, kNameBoxLeft, kSlotBoxLeft},
                {kPathBoxRight, kNameBoxRight, kSlotBoxRight},    {kPathBoxTop, kNameBoxTop, kSlotBoxTop},
                {kPathBoxBottom, kNameBoxBottom, kSlotBoxBottom}, {kPathMug, kNameMug, kSlotMug}};
  for (const auto& image : images) {
    const std::string& name = scene.textureName[image.name];
    // An empty name keeps the slot's picture.
    if (name.empty()) continue;
    char* buffer = scene.texturePath[image.path];
    const size_t copied = std::min<size_t>(name.size(), kPathBufferSize - 1);
    std::memcpy(buffer, name.data(), copied);
    buffer[copied] = '\0';
    LoadTexture(scene, name, scene.textureSlot[image.slot]);
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
  if (scene.keyCount >= 1) {
    scene.playing = true;
    if (panel && panel->isOpen()) {
      scene.currentFrame = 0;
      panel->resetTimeline(scene.keyFrameNumbers[static_cast<size_t>(scene.keyCount)]);
    }
  }
}

ProjectResult ReadProject(SceneState& scene, const std::string& path, ProjectPanel* panel) {
  ProjectResult result;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    result.error = "Kestrova could not open " + quoted(path) + ": " + std::strerror(errno) + ".";
    return result;
  }
  const std::streamoff size = in.tellg();
  if (size < 0 || size > static_cast<std::streamoff>(kMaxKeys) * 52 + 64 * 1024 * 1024) {
    result.error = "Kestrova could not open " + quoted(path) + ": it is too large to be a project.";
    return result;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    result.error = "Kestrova could not read " + quoted(path) + ".";
    return result;
  }
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  if (!parse.ok) {
    result.error = quoted(path) + " is not a Kestrova project Kestrova can read: " + parse.error +
                   ". Your shot was left as it was.";
    return result;
  }
  ApplyProject(scene, parse.data, panel);
  result.ok = true;
  return result;
}

ProjectResult LoadPreset(SceneState& scene, int index, ProjectPanel* panel) {
  if (index <= 0 || index > scene.sequenceCount || index >= kSequenceCapacity) return {true, {}};
  std::error_code ignored;
  std::filesystem::current_path(scene.programFolder, ignored);
  scene.selectedPreset = index;
  return ReadProject(scene, "Sequences/" + scene.sequenceNames[static_cast<size_t>(index)], panel);
}

}  // namespace kestrova
