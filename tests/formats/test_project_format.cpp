// The project stream read field by field from files built by hand after the
// table of the format, every name and number distinct, so a field read from
// the wrong place shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "formats/project_file.h"
#include "tests/support/byte_writer.h"

using namespace kestrova;

namespace {

struct Stream : test::ByteWriter {
  void str(const std::string& s) {
    data.push_back(static_cast<uint8_t>(s.size()));  // a short string: one length byte
    data.insert(data.end(), s.begin(), s.end());
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
};

// Every field after the table, in its order; `version` gates as the table.
std::vector<uint8_t> handBuilt(char version, int keys) {
  Stream s;
  s.f32(2);                       // 1 lightingMode
  s.f32(11);                      // 2 textureScroll X
  s.f32(12);                      // 3 textureScroll Y
  s.str(std::string(1, version));  // 4 formatVersion
  if (version >= 2) s.f32(5);     // 5 boxStyle
  if (version >= 5) s.str("http://link.example/");  // 6
  if (version >= 4) s.str("bookfront");              // 7
  s.str("bookback");                                 // 8
  s.str("bookspine");                                // 9
  s.f32(107);                                        // 10 length of 7
  s.f32(108);                                        // 11 length of 8
  s.f32(109);                                        // 12 length of 9
  s.str("mug");                                      // 13
  s.f32(113);                                        // 14
  s.str("boxbottom");                                // 15
  s.f32(115);
  s.str("boxtop");  // 17
  s.f32(117);
  s.str("boxright");  // 19
  s.f32(119);
  s.str("boxleft");  // 21
  s.f32(121);
  s.str("boxback");  // 23
  s.f32(123);
  s.str("boxfront");  // 25
  s.f32(125);
  s.f32(4);  // 27 productKind
  for (float v : {28.f, 29.f, 30.f, 31.f, 32.f, 33.f, 34.f, 35.f, 36.f}) s.f32(v);  // rotation, pan, spot
  if (version >= 3) {
    for (float v : {37.f, 38.f, 39.f}) s.f32(v);  // scale
  }
  s.i32(640);    // 40 viewWidth
  s.i32(480);    // 41 viewHeight
  s.f32(1);      // 42 bookBinding
  s.f32(0.43f);  // 43 boxSize width
  s.f32(0.44f);  // 44 boxSize height
  s.f32(0.45f);  // 45 boxSize depth
  s.f32(46);     // 46 spinValue
  s.i32(2);      // 47 bookStyle
  for (float v : {0.48f, 0.49f, 0.50f}) s.f32(v);  // 48-50 background
  s.f32(51);     // 51 bookFlag
  s.i32(keys);   // 52 keyCount
  for (float v : {53.f, 54.f, 55.f, 56.f, 57.f, 58.f, 59.f, 60.f, 61.f}) s.f32(v);  // base rotation, pan, spot
  if (version >= 3) {
    for (float v : {62.f, 63.f, 64.f}) s.f32(v);  // base scale
  }
  for (int k = 1; k <= keys; ++k) {
    s.i32(100 * k);
    const int values = version >= 3 ? 12 : 9;
    for (int v = 0; v < values; ++v) s.f32(static_cast<float>(1000 * k + v));
  }
  return s.data;
}

}  // namespace

TEST(ProjectFormat, EveryFieldOfTheCurrentVersionLandsWhereTheTableSays) {
  const std::vector<uint8_t> bytes = handBuilt('\x05', 2);
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  ASSERT_TRUE(parse.ok) << parse.error;
  const ProjectData& d = parse.data;
  EXPECT_EQ(d.lightingMode, 2.0f);
  EXPECT_EQ(d.textureScroll, (std::array<float, 2>{11, 12}));
  EXPECT_EQ(d.boxStyle, 5.0f);
  EXPECT_EQ(d.websiteLink, "http://link.example/");
  const std::pair<TextureNameIndex, const char*> names[] = {
      {kNameBookFront, "bookfront"}, {kNameBookBack, "bookback"}, {kNameBookSpine, "bookspine"},
      {kNameMug, "mug"},             {kNameBoxBottom, "boxbottom"}, {kNameBoxTop, "boxtop"},
      {kNameBoxRight, "boxright"},   {kNameBoxLeft, "boxleft"},   {kNameBoxBack, "boxback"},
      {kNameBoxFront, "boxfront"}};
  for (const auto& [index, name] : names) EXPECT_EQ(d.names[index], name);
  const std::pair<TextureNameLengthIndex, float> lengths[] = {
      {kLengthBookFront, 107}, {kLengthBookBack, 108}, {kLengthBookSpine, 109}, {kLengthMug, 113},
      {kLengthBoxBottom, 115}, {kLengthBoxTop, 117},   {kLengthBoxRight, 119},  {kLengthBoxLeft, 121},
      {kLengthBoxBack, 123},   {kLengthBoxFront, 125}};
  for (const auto& [index, length] : lengths) EXPECT_EQ(d.lengths[index], length) << index;
  EXPECT_EQ(d.productKind, 4.0f);
  EXPECT_EQ(d.rotation, (Vec3{28, 29, 30}));
  EXPECT_EQ(d.pan, (Vec3{31, 32, 33}));
  EXPECT_EQ(d.spotLight, (Vec3{34, 35, 36}));
  EXPECT_TRUE(d.hasScale);
  EXPECT_EQ(d.scale, (Vec3{37, 38, 39}));
  EXPECT_EQ(d.viewWidth, 640);
  EXPECT_EQ(d.viewHeight, 480);
  EXPECT_EQ(d.bookBinding, 1.0f);
  EXPECT_EQ(d.boxSize, (Vec3{0.44f, 0.43f, 0.45f})) << "height, width, depth from width, height, depth";
  EXPECT_EQ(d.spinValue, 46.0f);
  EXPECT_EQ(d.bookStyle, 2);
  EXPECT_EQ(d.backgroundColor, (Vec3{0.48f, 0.49f, 0.50f}));
  EXPECT_EQ(d.bookFlag, 51.0f);
  EXPECT_EQ(d.baseRotation, (Vec3{53, 54, 55}));
  EXPECT_EQ(d.basePan, (Vec3{56, 57, 58}));
  EXPECT_EQ(d.baseSpot, (Vec3{59, 60, 61}));
  EXPECT_EQ(d.baseScale, (Vec3{62, 63, 64}));
  ASSERT_EQ(d.keys.size(), 2u);
  EXPECT_EQ(d.keys[1].frame, 200);
  for (size_t v = 0; v < 12; ++v) EXPECT_EQ(d.keys[1].values[v], static_cast<float>(2000 + v)) << v;
}

TEST(ProjectFormat, OlderVersionsSkipTheFieldsTheyLack) {
  const struct {
    char version;
    bool boxStyle, link, bookFront, scale;
  } gates[] = {{'\x01', false, false, false, false},
               {'\x02', true, false, false, false},
               {'\x03', true, false, false, true},
               {'\x04', true, false, true, true}};
  for (const auto& gate : gates) {
    const std::vector<uint8_t> bytes = handBuilt(gate.version, 1);
    const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
    ASSERT_TRUE(parse.ok) << int(gate.version) << ": " << parse.error;
    const ProjectData& d = parse.data;
    EXPECT_EQ(d.hasBoxStyle, gate.boxStyle) << int(gate.version);
    EXPECT_EQ(d.hasWebsiteLink, gate.link) << int(gate.version);
    EXPECT_EQ(d.names[kNameBookFront], gate.bookFront ? "bookfront" : "") << int(gate.version);
    EXPECT_EQ(d.names[kNameBookBack], "bookback") << int(gate.version);
    EXPECT_EQ(d.hasScale, gate.scale) << int(gate.version);
    EXPECT_EQ(d.rotation, (Vec3{28, 29, 30})) << int(gate.version);
    EXPECT_EQ(d.bookFlag, 51.0f) << int(gate.version);
    ASSERT_EQ(d.keys.size(), 1u);
    EXPECT_EQ(d.keys[0].values[8], 1008.0f) << "spot Z of the key, " << int(gate.version);
  }
}

TEST(ProjectFormat, TheExtensionBlockAfterTheKeysCarriesTheFloorAndLook) {
  // Built by hand: magic, length, a record the reader does not know (skipped),
  // the floor record and the look record.
  Stream block;
  block.u16(99), block.u32(3), block.data.insert(block.data.end(), {1, 2, 3});
  block.u16(1), block.u32(14);
  block.data.push_back(1), block.data.push_back(0);
  block.i32(35), block.i32(20), block.i32(70);
  Stream look;
  look.data.push_back(1);
  look.str("dark");
  look.f32(85);
  look.i32(10);
  look.i32(40);
  look.str("sky.hdr");
  block.u16(2), block.u32(static_cast<uint32_t>(look.data.size()));
  block.data.insert(block.data.end(), look.data.begin(), look.data.end());
  std::vector<uint8_t> bytes = handBuilt('\x05', 2);
  const size_t oldLength = bytes.size();
  bytes.insert(bytes.end(), {'K', 'S', 'T', 'X'});
  Stream length;
  length.u32(static_cast<uint32_t>(block.data.size()));
  bytes.insert(bytes.end(), length.data.begin(), length.data.end());
  bytes.insert(bytes.end(), block.data.begin(), block.data.end());

  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  ASSERT_TRUE(parse.ok) << parse.error;
  const ProjectData& d = parse.data;
  EXPECT_TRUE(d.hasExtension);
  EXPECT_TRUE(d.floor.shadow);
  EXPECT_FALSE(d.floor.reflection);
  EXPECT_EQ(d.floor.shadowStrength, 35);
  EXPECT_EQ(d.floor.reflectionStrength, 20);
  EXPECT_EQ(d.floor.softness, 70);
  EXPECT_TRUE(d.look.studio);
  EXPECT_EQ(d.look.setup, "dark");
  EXPECT_EQ(d.look.lens, 85.0f);
  EXPECT_EQ(d.look.fit, 10);
  EXPECT_EQ(d.look.gloss, 40);
  EXPECT_EQ(d.look.environment, "sky.hdr");
  EXPECT_EQ(d.keys.size(), 2u) << "the keys before it are read as ever";

  // The same file cut anywhere in the block is refused; without the block
  // it reads as before.
  for (size_t cut = oldLength + 8; cut < bytes.size(); cut += 5) {
    EXPECT_FALSE(ParseProject(bytes.data(), cut).ok) << "cut at " << cut;
  }
  const ProjectParse old = ParseProject(bytes.data(), oldLength);
  ASSERT_TRUE(old.ok);
  EXPECT_FALSE(old.data.hasExtension);
  EXPECT_FALSE(old.data.floor.shadow);
  EXPECT_FALSE(old.data.look.studio);

  // Written back: a shot with the default floor and look carries no block.
  SceneState scene;
  const std::vector<uint8_t> plain = SerialiseProject(scene);
  EXPECT_EQ(std::search(plain.begin(), plain.end(), std::begin(kExtensionMagic), std::end(kExtensionMagic)),
            plain.end());
  scene.studioFloor = d.floor;
  scene.look = d.look;
  const std::vector<uint8_t> saved = SerialiseProject(scene);
  const ProjectParse again = ParseProject(saved.data(), saved.size());
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.data.floor.softness, 70);
  EXPECT_EQ(again.data.look.setup, "dark");
  EXPECT_EQ(again.data.look.environment, "sky.hdr");
}

// Any one field of the floor or the look away from its default is enough
// for the block to be written, and it reads back as written.
TEST(ProjectFormat, EachFloorAndLookFieldAloneIsKeptThroughASave) {
  const struct {
    const char* field;
    void (*change)(SceneState&);
    bool (*kept)(const ProjectData&);
  } kCases[] = {
      {"shadow", [](SceneState& s) { s.studioFloor.shadow = true; }, [](const ProjectData& d) { return d.floor.shadow; }},
      {"reflection", [](SceneState& s) { s.studioFloor.reflection = true; },
       [](const ProjectData& d) { return d.floor.reflection; }},
      {"shadow strength", [](SceneState& s) { s.studioFloor.shadowStrength = 17; },
       [](const ProjectData& d) { return d.floor.shadowStrength == 17; }},
      {"reflection strength", [](SceneState& s) { s.studioFloor.reflectionStrength = 18; },
       [](const ProjectData& d) { return d.floor.reflectionStrength == 18; }},
      {"softness", [](SceneState& s) { s.studioFloor.softness = 19; },
       [](const ProjectData& d) { return d.floor.softness == 19; }},
      {"studio", [](SceneState& s) { s.look.studio = true; }, [](const ProjectData& d) { return d.look.studio; }},
      {"set-up", [](SceneState& s) { s.look.setup = "soft"; }, [](const ProjectData& d) { return d.look.setup == "soft"; }},
      {"lens", [](SceneState& s) { s.look.lens = 35; }, [](const ProjectData& d) { return d.look.lens == 35.0f; }},
      {"fit", [](SceneState& s) { s.look.fit = 7; }, [](const ProjectData& d) { return d.look.fit == 7; }},
      {"gloss", [](SceneState& s) { s.look.gloss = 60; }, [](const ProjectData& d) { return d.look.gloss == 60; }},
      {"environment", [](SceneState& s) { s.look.environment = "room.exr"; },
       [](const ProjectData& d) { return d.look.environment == "room.exr"; }},
      {"radius", [](SceneState& s) { s.look.radius = 0; }, [](const ProjectData& d) { return d.look.radius == 0.0f; }},
      {"device", [](SceneState& s) { s.look.device = "laptop"; }, [](const ProjectData& d) { return d.look.device == "laptop"; }},
      {"screen fit", [](SceneState& s) { s.look.screenCover = true; }, [](const ProjectData& d) { return d.look.screenCover; }},
      {"title", [](SceneState& s) { s.look.title = "Kestrova \xE2\x80\x94 Home"; },
       [](const ProjectData& d) { return d.look.title == "Kestrova \xE2\x80\x94 Home"; }},
  };
  for (const auto& c : kCases) {
    SceneState scene;
    c.change(scene);
    const std::vector<uint8_t> saved = SerialiseProject(scene);
    const ProjectParse parse = ParseProject(saved.data(), saved.size());
    ASSERT_TRUE(parse.ok) << c.field << ": " << parse.error;
    EXPECT_TRUE(parse.data.hasExtension) << c.field;
    EXPECT_TRUE(c.kept(parse.data)) << c.field;
  }
  // A device the program does not know is refused, naming it.
  SceneState scene;
  scene.look.device = "toaster";
  const std::vector<uint8_t> saved = SerialiseProject(scene);
  const ProjectParse parse = ParseProject(saved.data(), saved.size());
  EXPECT_FALSE(parse.ok);
  EXPECT_NE(parse.error.find("toaster"), std::string::npos) << parse.error;
}

// A block larger than any this program writes says so, not that fewer
// bytes follow than do.
TEST(ProjectFormat, AnOversizedExtensionBlockIsRefusedForItsSize) {
  for (const uint32_t claimed : {kMaxExtensionBytes + 1, 1400000u}) {
    std::vector<uint8_t> bytes = handBuilt('\x05', 0);
    bytes.insert(bytes.end(), {'K', 'S', 'T', 'X'});
    Stream length;
    length.u32(claimed);
    bytes.insert(bytes.end(), length.data.begin(), length.data.end());
    bytes.resize(bytes.size() + claimed, 0);
    const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
    EXPECT_FALSE(parse.ok);
    EXPECT_NE(parse.error.find("at most " + std::to_string(kMaxExtensionBytes)), std::string::npos) << parse.error;
    EXPECT_EQ(parse.error.find("but"), std::string::npos) << parse.error;
  }
}

// Each record is read within its own size: one too short for what it holds
// (size 0 among them) is refused as such, not read into the next; a text
// longer than any the program keeps is refused by its length, as a title
// typed that long is refused where it is typed.
TEST(ProjectFormat, ARecordIsReadWithinItsSizeAndItsTextsWithinTheirLimit) {
  auto fileWith = [](const Stream& block) {
    std::vector<uint8_t> bytes = handBuilt('\x05', 0);
    bytes.insert(bytes.end(), {'K', 'S', 'T', 'X'});
    Stream length;
    length.u32(static_cast<uint32_t>(block.data.size()));
    bytes.insert(bytes.end(), length.data.begin(), length.data.end());
    bytes.insert(bytes.end(), block.data.begin(), block.data.end());
    return bytes;
  };
  // A look record: studio, "bright", 50 mm, fit -1, gloss 0, no environment.
  Stream look;
  look.data.push_back(1);
  look.str("bright");
  look.f32(50);
  look.i32(-1);
  look.i32(0);
  look.str("");
  struct Case {
    const char* what;
    uint16_t tag;
    uint32_t size;  // as the record claims
    const char* says;
  };
  const Case cases[] = {
      {"an empty floor record", 1, 0, "floor runs past the end of its record"},
      {"a floor record of 13 of its 14 bytes", 1, 13, "softness runs past the end of its record"},
      {"an empty look record", 2, 0, "look runs past the end of its record"},
  };
  for (const Case& c : cases) {
    Stream block;
    block.u16(c.tag), block.u32(c.size);
    if (c.size > 0) block.data.insert(block.data.end(), {1, 0, 35, 0, 0, 0, 20, 0, 0, 0, 70, 0, 0});
    // The next record follows, whole: reading on into it would find a lens
    // of 0 mm, or a floor's bytes, and say so instead.
    block.u16(2), block.u32(static_cast<uint32_t>(look.data.size()));
    block.data.insert(block.data.end(), look.data.begin(), look.data.end());
    const std::vector<uint8_t> bytes = fileWith(block);
    const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
    EXPECT_FALSE(parse.ok) << c.what;
    EXPECT_NE(parse.error.find(c.says), std::string::npos) << c.what << ": " << parse.error;
  }
  // A title of 4096 bytes is kept; one of 4097 is refused by its length.
  for (const size_t length : {size_t{4096}, size_t{4097}}) {
    SceneState scene;
    scene.look.title.assign(length, 'T');
    const std::vector<uint8_t> saved = SerialiseProject(scene);
    const ProjectParse parse = ParseProject(saved.data(), saved.size());
    EXPECT_EQ(parse.ok, length <= 4096) << length;
    EXPECT_EQ(parse.error.find("4097 bytes long") != std::string::npos, length > 4096) << parse.error;
  }
}
