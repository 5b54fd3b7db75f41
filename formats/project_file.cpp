#include "project_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>


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
  Reader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size), end_(size) {}

  // Reads stop at `end` (a record's own end) until unbound: a record too
  // short for what it holds is said to be so, not read into the next.
  void bound(size_t end) { end_ = std::min(end, size_); }
  void unbound() { end_ = size_; }

  // One value of the file's own (little-endian) layout.
  template <typename T>
  T read(const char* what) {
    T v;
    take(&v, sizeof v, what);
    return v;
  }
  float f32(const char* what) { return read<float>(what); }
  int32_t i32(const char* what) { return read<int32_t>(what); }
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
  size_t left() const { return size_ - at_; }
  uint8_t u8(const char* what) { return read<uint8_t>(what); }
  uint32_t u32(const char* what) { return read<uint32_t>(what); }
  uint16_t u16(const char* what) { return read<uint16_t>(what); }
  void skip(size_t n, const char* what) {
    if (n > size_ - at_) fail("the file ends in the middle of the " + std::string(what));
    at_ += n;
  }

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
    if (n > end_ - at_) {
      if (end_ < size_) fail("the " + std::string(what) + " runs past the end of its record (byte " + std::to_string(at_) + ")");
      fail("the file ends in the middle of the " + std::string(what) + " (byte " + std::to_string(at_) + ")");
    }
    std::memcpy(out, bytes_ + at_, n);
    at_ += n;
  }

  const uint8_t* bytes_;
  size_t size_;
  size_t end_;
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
  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v) { put(&v, 2); }
  void u32(uint32_t v) { put(&v, 4); }
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
  void put(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
  }
};

bool atLeast(const std::string& version, unsigned char code) { return FormatVersionAtLeast(version, code); }

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

namespace {

enum ExtensionTag : uint16_t { kTagFloor = 1, kTagLook = 2, kTagShapes = 3 };

int32_t percent(Reader& in, const char* what) {
  const int32_t v = in.i32(what);
  if (v < -1 || v > 100) in.fail(std::string("the ") + what + " is " + std::to_string(v) + ", not 0 to 100");
  return v;
}

void readExtension(Reader& in, ProjectData& d) {
  // Bytes after the keys that are no extension block were always ignored.
  if (in.left() < 8) return;
  uint8_t magic[4];
  for (uint8_t& b : magic) b = in.u8("extension block");
  if (std::memcmp(magic, kExtensionMagic, 4) != 0) return;
  const uint32_t length = in.u32("extension block");
  // Two faults, two messages: a block larger than any this program writes
  // is refused as such, even when that many bytes do follow.
  if (length > kMaxExtensionBytes) {
    in.fail("its extension block claims " + std::to_string(length) + " bytes; a block holds at most " +
            std::to_string(kMaxExtensionBytes));
  }
  if (length > in.left()) {
    in.fail("its extension block claims " + std::to_string(length) + " bytes but " + std::to_string(in.left()) +
            " follow");
  }
  const size_t end = in.offset() + length;
  d.hasExtension = true;
  while (in.offset() + 6 <= end) {
    const uint16_t tag = in.u16("extension record");
    const uint32_t size = in.u32("extension record");
    if (size > end - in.offset()) in.fail("an extension record runs past its block");
    const size_t recordEnd = in.offset() + size;
    in.bound(recordEnd);
    // What a writer of these limits would have refused to write.
    auto text = [&in](const char* what) {
      std::string value = in.str(what);
      if (value.size() > kMaxShotText) {
        in.fail(std::string("the ") + what + " is " + std::to_string(value.size()) + " bytes long; at most " +
                std::to_string(kMaxShotText) + " are kept");
      }
      return value;
    };
    if (tag == kTagFloor) {
      d.floor.shadow = in.u8("floor") != 0;
      d.floor.reflection = in.u8("floor") != 0;
      d.floor.shadowStrength = std::max(0, percent(in, "shadow strength"));
      d.floor.reflectionStrength = std::max(0, percent(in, "reflection strength"));
      d.floor.softness = std::max(0, percent(in, "shadow softness"));
    } else if (tag == kTagLook) {
      d.look.studio = in.u8("look") != 0;
      d.look.setup = text("studio name");
      d.look.lens = in.f32("lens");
      if (!(d.look.lens >= 10 && d.look.lens <= 600)) in.fail("the lens is not 10 to 600 mm");
      d.look.fit = percent(in, "framing margin");
      if (d.look.fit > 45) in.fail("the framing margin is past 45 %");
      d.look.gloss = std::max(0, percent(in, "gloss"));
      d.look.environment = text("environment picture");
    } else if (tag == kTagShapes) {
      d.look.radius = in.f32("edge radius");
      if (!(d.look.radius == -1 || (d.look.radius >= 0 && d.look.radius <= 20))) in.fail("the edges' radius is not 0 to 20 mm");
      d.look.device = text("device");
      static const char* const kDevices[] = {"phone", "tablet", "laptop", "monitor", "browser", "board"};
      if (std::find(std::begin(kDevices), std::end(kDevices), d.look.device) == std::end(kDevices)) {
        in.fail("its device '" + d.look.device + "' is none the program knows");
      }
      d.look.screenCover = in.u8("screen fit") != 0;
      d.look.title = text("window title");
    }
    in.unbound();
    if (in.offset() > recordEnd) in.fail("an extension record is longer than it says");
    in.skip(recordEnd - in.offset(), "extension record");
  }
  in.skip(end - in.offset(), "extension block");
}

}  // namespace

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
    if (keyCount < 0 || keyCount > kMaxStoredKeys) {
      in.fail("it claims " + std::to_string(keyCount) + " keys; a shot holds 0 to " +
              std::to_string(kMaxStoredKeys));
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
      if (key.frame < 0 || key.frame > kTrackFrames - 1) {
        in.fail("a key stands at frame " + std::to_string(key.frame) + "; frames run from 0 to " +
                std::to_string(kTrackFrames - 1));
      }
      for (size_t i = 0; i < 9; ++i) key.values[i] = in.f32("key");
      if (atLeast(v, 3)) {
        for (size_t i = 9; i < 12; ++i) key.values[i] = in.f32("key");
      }
    }
    readExtension(in, d);
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
    const auto at = static_cast<size_t>(std::clamp(frame, 0, kTrackFrames - 1));
    // Stored as the twelve key-track values: rotation, pan, spot, scale.
    for (const auto* track : {&scene.keyRotation, &scene.keyPan, &scene.keySpot, &scene.keyScale}) {
      for (size_t c = 0; c < 3; ++c) out.f32((*track)[c][at]);
    }
  }
  const StudioFloor defaultFloor;
  const StudioLook defaultLook;
  const StudioFloor& f = scene.studioFloor;
  const StudioLook& l = scene.look;
  const bool floorChanged = f.shadow || f.reflection || f.shadowStrength != defaultFloor.shadowStrength ||
                            f.reflectionStrength != defaultFloor.reflectionStrength ||
                            f.softness != defaultFloor.softness;
  const bool lookChanged = l.studio || l.setup != defaultLook.setup || l.lens != defaultLook.lens ||
                           l.fit != defaultLook.fit || l.gloss != defaultLook.gloss || !l.environment.empty();
  const bool shapesChanged = l.radius != defaultLook.radius || l.device != defaultLook.device ||
                             l.screenCover != defaultLook.screenCover || !l.title.empty();
  if (floorChanged || lookChanged || shapesChanged) {
    Writer block;
    block.u16(kTagFloor);
    block.u32(2 + 12);
    block.u8(f.shadow ? 1 : 0);
    block.u8(f.reflection ? 1 : 0);
    block.i32(f.shadowStrength);
    block.i32(f.reflectionStrength);
    block.i32(f.softness);
    Writer look;
    look.u8(l.studio ? 1 : 0);
    look.str(l.setup);
    look.f32(l.lens);
    look.i32(l.fit);
    look.i32(l.gloss);
    look.str(l.environment);
    block.u16(kTagLook);
    block.u32(static_cast<uint32_t>(look.bytes.size()));
    block.bytes.insert(block.bytes.end(), look.bytes.begin(), look.bytes.end());
    if (shapesChanged) {
      Writer shapes;
      shapes.f32(l.radius);
      shapes.str(l.device);
      shapes.u8(l.screenCover ? 1 : 0);
      shapes.str(l.title);
      block.u16(kTagShapes);
      block.u32(static_cast<uint32_t>(shapes.bytes.size()));
      block.bytes.insert(block.bytes.end(), shapes.bytes.begin(), shapes.bytes.end());
    }
    for (uint8_t b : kExtensionMagic) out.u8(b);
    out.u32(static_cast<uint32_t>(block.bytes.size()));
    out.bytes.insert(out.bytes.end(), block.bytes.begin(), block.bytes.end());
  }
  return out.bytes;
}

}  // namespace kestrova
