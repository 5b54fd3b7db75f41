#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <fcntl.h>
#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>


#include "shot/project_io.h"
#include "render/texture_loader.h"
#include "animation/keyframes.h"
#include "render/classic/render_frame.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/metafile_writer.h"
#include "pictures/http_fetch.h"
#include "pictures/picture.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

// Old files by hand: the fields a given version holds, in stream order.
class OldFile {
 public:
  explicit OldFile(int version) : version_(version) {}

  std::vector<uint8_t> bytes(const std::vector<std::array<float, 13>>& keys = {}) {
    f32(2);  // lighting
    f32(0);
    f32(0);
    bytes_.push_back(1);
    bytes_.push_back(static_cast<uint8_t>(version_));
    if (version_ >= 2) f32(5);  // box style: Slim CD
    if (version_ >= 5) str("http://old.example");
    if (version_ >= 4) str("Books/front.jpg");
    str("Books/back.jpg");
    str("Books/spine.jpg");
    for (int i = 0; i < 3; ++i) f32(0);
    str("Mug/mug.jpg");
    f32(0);
    for (int i = 0; i < 6; ++i) {
      str("Boxes/face.jpg");
      f32(14);
    }
    f32(4);  // product kind
    for (float v : {10.0f, 20.0f, 30.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f}) f32(v);
    if (version_ >= 3) {
      for (float v : {-1.0f, -2.0f, -3.0f}) f32(v);
    }
    i32(640);
    i32(480);
    f32(1);
    for (float v : {0.2f, 0.3f, 0.04f, 7.0f}) f32(v);
    i32(1);
    for (float v : {0.5f, 0.5f, 0.5f, 0.0f}) f32(v);
    i32(static_cast<int32_t>(keys.size()));
    for (int i = 0; i < 9; ++i) f32(static_cast<float>(i));
    if (version_ >= 3) {
      for (int i = 0; i < 3; ++i) f32(8);
    }
    for (const auto& key : keys) {
      i32(static_cast<int32_t>(key[0]));
      for (size_t i = 1; i < (version_ >= 3 ? 13u : 10u); ++i) f32(key[i]);
    }
    return bytes_;
  }

 private:
  void f32(float v) { put(&v); }
  void i32(int32_t v) { put(&v); }
  void put(const void* v) {
    const auto* p = static_cast<const uint8_t*>(v);
    bytes_.insert(bytes_.end(), p, p + 4);
  }
  void str(const std::string& s) {
    bytes_.push_back(static_cast<uint8_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
  }
  int version_;
  std::vector<uint8_t> bytes_;
};

float floatAt(const std::vector<uint8_t>& bytes, size_t at) {
  float v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

class ProjectFiles : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    scene_ = std::make_unique<SceneState>();
    previous_ = fs::current_path();
    fs::current_path(dir_.path().toStdString());
  }
  void TearDown() override { fs::current_path(previous_); }

  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.path().toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::vector<uint8_t> read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
  }

  QTemporaryDir dir_;
  fs::path previous_;
  std::unique_ptr<SceneState> scene_;
};

}  // namespace

TEST_F(ProjectFiles, SceneWithoutKeysWritesTheHeaderAndNothingMore) {
  scene_->textureNameLength[kLengthBoxFront] = 17;
  scene_->boxStyle = 3;
  const std::string path = dir_.path().toStdString() + "/shot.TSMR";
  ASSERT_TRUE(WriteProject(*scene_, path).ok);
  const std::vector<uint8_t> bytes = read(path);
  // 52 numbers, the two-byte version and eleven empty strings of one byte.
  EXPECT_EQ(bytes.size(), 52u * 4 + 2 + 11);
  EXPECT_EQ(bytes[12], 0x01);
  EXPECT_EQ(bytes[13], 0x05);
  EXPECT_EQ(floatAt(bytes, 14), 3.0f);
  EXPECT_EQ(bytes[18], 0x00) << "an empty link is the single byte 0";
  EXPECT_EQ(scene_->formatVersion, std::string(1, '\x05'));
  // The front name's length is the last number before the product kind.
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  ASSERT_TRUE(parse.ok) << parse.error;
  EXPECT_EQ(parse.data.lengths[kLengthBoxFront], 17.0f);
  EXPECT_TRUE(parse.data.keys.empty());
  EXPECT_TRUE(ReadProject(*scene_, path).ok);
  EXPECT_EQ(scene_->keyCount, 0);
  EXPECT_FALSE(scene_->playing);
}

TEST_F(ProjectFiles, VersionTwoFileTakesScaleFromBoxStyleAndSavesAsFive) {
  const std::string path = write("v2.TSMR", OldFile(2).bytes({{{30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}}}));
  ASSERT_TRUE(ReadProject(*scene_, path).ok);
  EXPECT_EQ(scene_->boxStyle, 5.0f);
  EXPECT_EQ(scene_->scale, (Vec3{-17, -22, -50}));
  EXPECT_EQ(scene_->baseScale, (Vec3{0, 0, 0}));
  EXPECT_EQ(scene_->keyScale[0][30], 0.0f);
  EXPECT_EQ(scene_->keyRotation[2][30], 3.0f);
  EXPECT_EQ(scene_->textureName[kNameBoxFront], "Boxes/face.jpg");
  EXPECT_TRUE(scene_->playing);

  const std::string saved = dir_.path().toStdString() + "/saved.TSMR";
  ASSERT_TRUE(WriteProject(*scene_, saved).ok);
  const std::vector<uint8_t> bytes = read(saved);
  EXPECT_EQ(bytes[13], 0x05);
  const ProjectParse again = ParseProject(bytes.data(), bytes.size());
  ASSERT_TRUE(again.ok);
  EXPECT_TRUE(again.data.hasScale);
  EXPECT_EQ(again.data.scale, (Vec3{-17, -22, -50}));
  EXPECT_EQ(again.data.keys[0].values[9], 0.0f);
}

TEST_F(ProjectFiles, VersionOneFileKeepsBoxStyleZeroAndNoScale) {
  const std::string path = write("v1.TSMR", OldFile(1).bytes());
  ASSERT_TRUE(ReadProject(*scene_, path).ok);
  EXPECT_EQ(scene_->boxStyle, 0.0f);
  EXPECT_EQ(scene_->scale, (Vec3{0, 0, 0}));
  EXPECT_EQ(scene_->formatVersion, std::string(1, '\x01'));
}

TEST_F(ProjectFiles, VersionThreeReadsScaleAndLaterVersionsReadAsFive) {
  ASSERT_TRUE(ReadProject(*scene_, write("v3.TSMR", OldFile(3).bytes())).ok);
  EXPECT_EQ(scene_->scale, (Vec3{-1, -2, -3}));
  EXPECT_EQ(scene_->baseScale, (Vec3{8, 8, 8}));
  ASSERT_TRUE(ReadProject(*scene_, write("v9.TSMR", OldFile(9).bytes())).ok);
  EXPECT_EQ(scene_->websiteLink(), "http://old.example");
  EXPECT_EQ(scene_->textureName[kNameBookFront], "Books/front.jpg");
}

TEST_F(ProjectFiles, LoadDefaultsAndFieldsLandWhereTheyBelong) {
  ASSERT_TRUE(ReadProject(*scene_, write("v5.TSMR", OldFile(5).bytes())).ok);
  EXPECT_EQ(scene_->lightingMode, 2.0f);
  EXPECT_EQ(scene_->rotation, (Vec3{10, 20, 30}));
  EXPECT_EQ(scene_->pan, (Vec3{1, 2, 3}));
  EXPECT_EQ(scene_->spotLight, (Vec3{4, 5, 6}));
  EXPECT_EQ(scene_->viewWidth, 640);
  EXPECT_EQ(scene_->bookBinding, 1.0f);
  EXPECT_FLOAT_EQ(scene_->boxSize[0], 0.3f) << "the height is stored second";
  EXPECT_FLOAT_EQ(scene_->boxSize[1], 0.2f);
  EXPECT_EQ(scene_->spinValue(), 7.0f);
  EXPECT_EQ(scene_->bookStyle, 1);
  EXPECT_EQ(scene_->imagePathIsAbsolute, 0.0f);
  EXPECT_EQ(scene_->spinGuard, 2.0f);
  EXPECT_TRUE(scene_->keysFromFile);
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  EXPECT_FLOAT_EQ(clear[0], 0.5f);
  EXPECT_EQ(clear[3], 0.0f);
}

TEST_F(ProjectFiles, StoredNameIsCopiedWholeIntoThePathBuffer) {
  scene_->textureName[kNameBoxLeft] = "Boxes/a rather long name for the spine of the box.jpg";
  scene_->textureNameLength[kLengthBoxLeft] = 3;  // the length does not shorten it
  const std::string path = dir_.path().toStdString() + "/names.TSMR";
  ASSERT_TRUE(WriteProject(*scene_, path).ok);
  auto loaded = std::make_unique<SceneState>();
  ASSERT_TRUE(ReadProject(*loaded, path).ok);
  EXPECT_STREQ(loaded->texturePath[kPathBoxLeft], "Boxes/a rather long name for the spine of the box.jpg");
  EXPECT_EQ(loaded->textureNameLength[kLengthBoxLeft], 3.0f);
}

TEST_F(ProjectFiles, LongStringsRoundTrip) {
  scene_->websiteLink() = "http://www.kestrova.example/" + std::string(300, 'a');
  scene_->textureName[kNameMug] = std::string(70000, 'm');
  scene_->textureName[kNameBoxTop] = std::string(255, 't');  // the first two-byte length
  const std::string path = dir_.path().toStdString() + "/long.TSMR";
  ASSERT_TRUE(WriteProject(*scene_, path).ok);
  const std::vector<uint8_t> bytes = read(path);
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  ASSERT_TRUE(parse.ok) << parse.error;
  EXPECT_EQ(parse.data.websiteLink, scene_->websiteLink());
  EXPECT_EQ(parse.data.names[kNameMug], std::string(70000, 'm'));
  EXPECT_EQ(parse.data.names[kNameBoxTop], std::string(255, 't'));
  auto loaded = std::make_unique<SceneState>();
  ASSERT_TRUE(ReadProject(*loaded, path).ok);
  EXPECT_EQ(loaded->textureName[kNameMug].size(), 70000u);
  EXPECT_EQ(std::strlen(loaded->texturePath[kPathMug]), static_cast<size_t>(kPathBufferSize - 1));
}

TEST_F(ProjectFiles, WideStringsAreRead) {
  std::vector<uint8_t> bytes = OldFile(5).bytes();
  // Replace the link (after 3 floats, the version and the box style) by a
  // wide string "hé".
  const size_t link = 12 + 2 + 4;
  const size_t oldLength = 1 + bytes[link];
  const std::vector<uint8_t> wide = {0xFF, 0xFE, 0xFF, 2, 'h', 0, 0xE9, 0};
  bytes.erase(bytes.begin() + static_cast<long>(link), bytes.begin() + static_cast<long>(link + oldLength));
  bytes.insert(bytes.begin() + static_cast<long>(link), wide.begin(), wide.end());
  const ProjectParse parse = ParseProject(bytes.data(), bytes.size());
  ASSERT_TRUE(parse.ok) << parse.error;
  EXPECT_EQ(parse.data.websiteLink, "h\xC3\xA9");
}

TEST_F(ProjectFiles, FiftyKeysRoundTripWithEveryBakedFrame) {
  for (int k = 1; k <= 50; ++k) {
    scene_->rotation = {static_cast<float>(k), static_cast<float>(k * 7 % 360), -static_cast<float>(k)};
    scene_->pan[2] = static_cast<float>(k % 5);
    scene_->scale = {static_cast<float>(k % 3), 0, -45};
    ASSERT_TRUE(AddKey(*scene_, k * 37).done);
  }
  const std::string path = dir_.path().toStdString() + "/fifty.TSMR";
  ASSERT_TRUE(WriteProject(*scene_, path).ok);
  auto loaded = std::make_unique<SceneState>();
  ASSERT_TRUE(ReadProject(*loaded, path).ok);
  ASSERT_EQ(loaded->keyCount, 50);
  for (int k = 1; k <= 50; ++k) {
    EXPECT_EQ(loaded->keyFrameNumbers[static_cast<size_t>(k)], k * 37);
    EXPECT_EQ(KeyTrackValues(*loaded, k * 37), KeyTrackValues(*scene_, k * 37)) << k;
  }
  EXPECT_EQ(loaded->animationLength, scene_->animationLength);
  for (int f = 0; f < scene_->bakedFrameCount; ++f) {
    ASSERT_EQ(TweenValues(*loaded, f), TweenValues(*scene_, f)) << "frame " << f;
  }
  EXPECT_TRUE(loaded->playing);
}

// --- Refused files leave the shot exactly as it was ---------------------------

namespace {

void expectUnchanged(const SceneState& scene) {
  EXPECT_EQ(scene.rotation, (Vec3{11, 22, 33}));
  EXPECT_EQ(scene.keyCount, 1);
  EXPECT_EQ(scene.keyFrameNumbers[1], 25);
  EXPECT_EQ(scene.productKind, kProductMug);
  EXPECT_EQ(scene.textureName[kNameBoxFront], "Boxes/mine.jpg");
  EXPECT_NEAR(scene.tweenRotation[0][24], 11.0f, 1e-3);
  EXPECT_EQ(scene.formatVersion, "");
}

}  // namespace

TEST_F(ProjectFiles, BrokenFilesAreRefusedWithAMessageAndChangeNothing) {
  scene_->rotation = {11, 22, 33};
  scene_->baseRotation = {11, 22, 33};
  AddKey(*scene_, 25);
  scene_->productKind = kProductMug;
  scene_->textureName[kNameBoxFront] = "Boxes/mine.jpg";

  const std::vector<uint8_t> whole = OldFile(5).bytes({{{10, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}});
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const std::string path = write("cut.TSMR", std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut)));
    const ProjectResult result = ReadProject(*scene_, path);
    ASSERT_FALSE(result.ok) << "cut at " << cut;
    EXPECT_NE(result.error.find("cut.TSMR"), std::string::npos);
  }
  expectUnchanged(*scene_);

  std::vector<uint8_t> huge = OldFile(5).bytes();
  const size_t keyCountAt = huge.size() - 12 * 4 - 4;
  const int32_t many = 1000000;
  std::memcpy(huge.data() + keyCountAt, &many, 4);
  ProjectResult result = ReadProject(*scene_, write("huge.TSMR", huge));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("1000000 keys"), std::string::npos) << result.error;

  std::vector<uint8_t> liar = OldFile(5).bytes({{{10, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}});
  const int32_t five = 5;
  std::memcpy(liar.data() + keyCountAt, &five, 4);
  result = ReadProject(*scene_, write("liar.TSMR", liar));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("holds only 1"), std::string::npos) << result.error;

  result = ReadProject(*scene_, write("late.TSMR", OldFile(5).bytes({{{20000, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}})));
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("frame 20000"), std::string::npos) << result.error;

  result = ReadProject(*scene_, dir_.path().toStdString() + "/missing.TSMR");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("missing.TSMR"), std::string::npos);
  expectUnchanged(*scene_);
}

TEST_F(ProjectFiles, FailedSaveSaysSoAndKeepsTheOldFile) {
  const std::string path = dir_.path().toStdString() + "/keep.TSMR";
  write("keep.TSMR", {1, 2, 3});
  ProjectResult result;
  {
    const test::FileSizeLimit fullDisk(100);
    result = WriteProject(*scene_, path);
  }
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("keep.TSMR"), std::string::npos);
  EXPECT_EQ(read(path), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(scene_->formatVersion, "");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path().toStdString())) ++files;
  EXPECT_EQ(files, 1) << "no temporary left behind";
  EXPECT_FALSE(WriteProject(*scene_, "/nonexistent-folder/x.TSMR").ok);
}

TEST_F(ProjectFiles, ASaveFollowsNoPlantedLinkAndKeepsTheFilesPermissions) {
  const std::string folder = dir_.path().toStdString();
  write("victim", {9, 9, 9});
  write("mine.TSMR", {1});
  fs::permissions(folder + "/mine.TSMR", fs::perms::owner_read | fs::perms::owner_write);
  // Where a save once put its temporary.
  fs::create_symlink(folder + "/victim", folder + "/mine.TSMR.part");
  ASSERT_TRUE(WriteProject(*scene_, folder + "/mine.TSMR").ok);
  EXPECT_EQ(read(folder + "/victim"), (std::vector<uint8_t>{9, 9, 9}));
  EXPECT_EQ(read(folder + "/mine.TSMR"), SerialiseProject(*scene_));
  EXPECT_EQ(fs::status(folder + "/mine.TSMR").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ProjectFiles, PresetsLoadByIndexFromTheProgramFolder) {
  fs::create_directories(dir_.path().toStdString() + "/Sequences");
  auto saved = std::make_unique<SceneState>();
  saved->rotation = {1, 2, 3};
  saved->productKind = kProductScreenShot;
  ASSERT_TRUE(WriteProject(*saved, dir_.path().toStdString() + "/Sequences/a.TSMR").ok);
  scene_->programFolder = dir_.path().toStdString();
  scene_->sequenceNames[1] = "a.TSMR";
  scene_->sequenceCount = 1;
  fs::current_path("/");
  EXPECT_TRUE(LoadPreset(*scene_, 0).ok);
  EXPECT_EQ(scene_->productKind, 0.0f) << "Nothing Selected changes nothing";
  ASSERT_TRUE(LoadPreset(*scene_, 1).ok);
  EXPECT_EQ(scene_->productKind, kProductScreenShot);
  EXPECT_EQ(scene_->selectedPreset, 1);
  EXPECT_EQ(fs::current_path(), fs::path(dir_.path().toStdString()));
}

TEST_F(ProjectFiles, AShotWithoutKeysStopsThePlaybackItReplaces) {
  auto still = std::make_unique<SceneState>();
  still->rotation = {10, 20, 30};
  const std::string path = write("still.TSMR", SerialiseProject(*still));

  scene_->rotation = {0, 0, 0};
  ASSERT_TRUE(AddKey(*scene_, 50).done);
  Play(*scene_);
  ASSERT_TRUE(scene_->playing);
  ASSERT_TRUE(ReadProject(*scene_, path).ok);
  EXPECT_FALSE(scene_->playing);
  RenderHost host;
  RenderFrame(*scene_, host);
  EXPECT_EQ(scene_->rotation, (Vec3{10, 20, 30})) << "the loaded pose, not the emptied tracks";
}

TEST_F(ProjectFiles, WebPicturesAreFetchedOnlyWhenAllowedAndAgainstOneDeadline) {
  test::HttpTestServer silent;
  silent.mode = test::HttpTestServer::Mode::Silent;
  auto shot = std::make_unique<SceneState>();
  shot->textureName[kNameBoxFront] = silent.url("/front.png");
  shot->textureName[kNameBoxBack] = silent.url("/back.png");
  shot->textureName[kNameBoxTop] = silent.url("/top.png");
  const std::string path = write("web.TSMR", SerialiseProject(*shot));

  // Not allowed: nothing is fetched, each face says so.
  ProjectResult result = ReadProject(*scene_, path);
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(result.faceErrors.size(), 3u);
  EXPECT_NE(result.faceErrors[0].find("not fetched from the web"), std::string::npos);
  EXPECT_EQ(silent.requests(), 0);

  // Asked once for the load, with the host; no means no.
  int asked = 0;
  WebPictures web;
  web.ask = [&](const std::vector<std::string>& hosts) {
    ++asked;
    EXPECT_EQ(hosts, (std::vector<std::string>{"127.0.0.1"}));
    return false;
  };
  result = ReadProject(*scene_, path, nullptr, &web);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(silent.requests(), 0);

  // Allowed: three silent faces share one deadline.
  SetPictureFetchLimits({1000, 1 << 20, 1500});
  web.allowed = true;
  result = ReadProject(*scene_, path, nullptr, &web);
  SetPictureFetchLimits({});
  ASSERT_EQ(result.faceErrors.size(), 3u);
  EXPECT_NE(result.faceErrors[0].find("within 1 s"), std::string::npos) << result.faceErrors[0];
  // The later faces get what is left of the load's 1.5 s, not a second each.
  for (size_t face : {1u, 2u}) {
    EXPECT_EQ(result.faceErrors[face].find("within 1 s"), std::string::npos) << result.faceErrors[face];
  }
}

TEST_F(ProjectFiles, AWebNameIsAskedAboutByTheHostItReachesAndUserInformationIsRefused) {
  test::HttpTestServer server;
  server.body = "not a picture";
  const std::string port = server.url("").substr(std::string("http://127.0.0.1:").size());
  auto shot = std::make_unique<SceneState>();
  // Shows a trusted name, reaches the machine itself.
  shot->textureName[kNameBoxFront] = "http://cdn.trusted-shop.example:80@127.0.0.1:" + port + "/ok.png";
  shot->textureName[kNameBoxBack] = "http://localhost:" + port + "/back.png";
  const std::string path = write("hosts.TSMR", SerialiseProject(*shot));
  std::vector<std::string> askedAbout;
  WebPictures web;
  web.ask = [&](const std::vector<std::string>& hosts) {
    askedAbout = hosts;
    return true;
  };
  const ProjectResult result = ReadProject(*scene_, path, nullptr, &web);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(askedAbout, (std::vector<std::string>{"localhost"})) << "the host fetched, never the user part";
  ASSERT_EQ(result.faceErrors.size(), 2u);
  EXPECT_NE(result.faceErrors[0].find("names a user before its host"), std::string::npos) << result.faceErrors[0];
  EXPECT_NE(result.faceErrors[0].find("127.0.0.1"), std::string::npos) << result.faceErrors[0];
  EXPECT_EQ(server.requests(), 1) << "only the plain name was fetched";
  EXPECT_EQ(WebPictureHost("https://Shop.Example:8443/a.png?x=1#y"), "shop.example");
  EXPECT_EQ(WebPictureHost("http://user@shop.example/a.png"), "");
}

namespace {

// A stand-in for the picture helper: a script of the test's, for the
// duration of one test.
class FakeHelper {
 public:
  FakeHelper(const QTemporaryDir& dir, const std::string& script) : path_(dir.path().toStdString() + "/helper.sh") {
    std::ofstream(path_) << "#!/bin/bash\n" << script << "\n";
    fs::permissions(path_, fs::perms::owner_all);
    const char* kept = std::getenv("KESTROVA_METAFILE_HELPER");
    kept_ = kept ? kept : "";
    setenv("KESTROVA_METAFILE_HELPER", path_.c_str(), 1);
  }
  ~FakeHelper() { setenv("KESTROVA_METAFILE_HELPER", kept_.c_str(), 1); }

 private:
  std::string path_;
  std::string kept_;
};

}  // namespace

TEST_F(ProjectFiles, TenSlowDrawingsShareTheLoadsDeadline) {
  const FakeHelper slow(dir_, "sleep 30");
  auto shot = std::make_unique<SceneState>();
  const std::vector<uint8_t> emf = test::MakeEmf(40, 30, 1058, 794, 200, 40, 40);
  for (int n = 0; n < kTextureNameCount; ++n) {
    if (n == kNameWebsiteLink) continue;
    shot->textureName[static_cast<size_t>(n)] = "face" + std::to_string(n) + ".emf";
    write(shot->textureName[static_cast<size_t>(n)], emf);
  }
  const std::string path = write("slow.TSMR", SerialiseProject(*shot));
  SetPictureFetchLimits({1000, 1 << 20, 2000});
  QElapsedTimer clock;
  clock.start();
  const ProjectResult result = ReadProject(*scene_, path);
  const qint64 took = clock.elapsed();
  SetPictureFetchLimits({});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_LT(took, 5000) << "ten drawings, one deadline of 2 s";
  ASSERT_EQ(result.faceErrors.size(), 10u);
  for (const std::string& face : result.faceErrors) {
    EXPECT_NE(face.find("no time was left"), std::string::npos) << face;
  }
}

TEST_F(ProjectFiles, TheHelperIsKeptOnAShortLeash) {
  const std::vector<uint8_t> emf = test::MakeEmf(40, 30, 1058, 794, 200, 40, 40);
  {
    // Its output past a picture's size is not taken in.
    const FakeHelper flood(dir_, "exec cat /dev/zero");
    const PictureResult drawn = DecodePicture(emf, "flood.emf");
    EXPECT_FALSE(drawn.picture);
    EXPECT_NE(drawn.error.find("more than a picture"), std::string::npos) << drawn.error;
  }
  {
    // Its complaint reaches the user as one line of at most 200 characters.
    const FakeHelper chatty(dir_, "head -c 3000000 /dev/zero | tr '\\0' 'x' >&2; printf '\\nsecond line' >&2; exit 1");
    const PictureResult drawn = DecodePicture(emf, "chatty.emf");
    EXPECT_FALSE(drawn.picture);
    EXPECT_EQ(drawn.error, "chatty.emf: " + std::string(200, 'x'));
  }
  {
    // It starts with standard input, output and error only: a descriptor
    // the program holds open (as it did its signal socket) is out of reach.
    const int inherited = ::open("/dev/null", O_WRONLY);
    ASSERT_GE(inherited, 3);
    const FakeHelper curious(dir_,
                             "printf 'open:' >&2; for fd in $(seq 3 254); do ( exec /bin/true >&$fd ) 2>/dev/null "
                             "&& printf ' %s' $fd >&2; done; exit 1");
    const PictureResult drawn = DecodePicture(emf, "curious.emf");
    ::close(inherited);
    EXPECT_EQ(drawn.error, "curious.emf: open:");
  }
}

TEST(FaceNames, AreStoredSoTheProjectFindsThemAgain) {
  const struct {
    const char* file;
    const char* current;
    const char* project;
    const char* stored;
  } cases[] = {
      {"/home/u/shots/front.png", "Boxes/front.png", "/home/u/shots", "front.png"},
      {"/home/u/shots/art/front.png", "Boxes/front.png", "/home/u/shots", "art/front.png"},
      {"/home/u/art/front.png", "Boxes/front.png", "/home/u/shots", "/home/u/art/front.png"},
      {"/opt/k/Boxes/standard-box-front.jpg", "Boxes/standard-box-front.jpg", "/home/u/shots",
       "Boxes/standard-box-front.jpg"},
      {"/opt/k/Boxes/../Boxes/x.jpg", "Boxes/x.jpg", "/home/u", "Boxes/x.jpg"},
      {"/home/u/shotsmore/a.png", "Boxes/a.png", "/home/u/shots", "/home/u/shotsmore/a.png"},
      {"", "Boxes/kept.png", "/home/u/shots", "Boxes/kept.png"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StoredFaceName(c.file, c.current, c.project, "/opt/k"), c.stored) << c.file;
  }
}

TEST_F(ProjectFiles, AFacePickedFromAnotherFolderIsFoundAgainFromAnyFolder) {
  const std::string art = dir_.path().toStdString() + "/art";
  const std::string shots = dir_.path().toStdString() + "/shots";
  fs::create_directories(art);
  fs::create_directories(shots + "/Boxes");
  auto picture = [](const std::string& path, QColor colour) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(path)));
  };
  picture(art + "/front.png", Qt::red);
  picture(shots + "/Boxes/beside.png", Qt::green);
  // As the window picks it: the name of the face's folder and the file, the
  // picture loaded from where it lies.
  scene_->programFolder = dir_.path().toStdString() + "/program";
  scene_->imagePathIsAbsolute = 2;
  ASSERT_TRUE(LoadTexture(*scene_, art + "/front.png", scene_->textureSlot[kSlotBoxFront]));
  scene_->textureName[kNameBoxFront] = "Boxes/front.png";
  ASSERT_TRUE(LoadTexture(*scene_, shots + "/Boxes/beside.png", scene_->textureSlot[kSlotBoxBack]));
  scene_->textureName[kNameBoxBack] = "Boxes/beside.png";
  ASSERT_TRUE(WriteProject(*scene_, shots + "/a.TSMR").ok);
  EXPECT_EQ(scene_->textureName[kNameBoxFront], "Boxes/front.png") << "the shot in memory keeps its names";

  fs::create_directories(dir_.path().toStdString() + "/elsewhere");
  fs::current_path(dir_.path().toStdString() + "/elsewhere");
  auto loaded = std::make_unique<SceneState>();
  const ProjectResult result = ReadProject(*loaded, shots + "/a.TSMR");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.faceErrors.empty()) << result.faceErrors.front();
  EXPECT_EQ(fs::path(loaded->artwork[kSlotBoxFront].path), fs::path(art + "/front.png"));
  EXPECT_EQ(fs::path(loaded->artwork[kSlotBoxBack].path).lexically_normal(), fs::path(shots + "/Boxes/beside.png"));
  EXPECT_EQ(loaded->textureName[kNameBoxBack], "Boxes/beside.png") << "stored relative to the project";

  // A name that is nowhere is reported with its face.
  loaded->textureName = {};
  ProjectData data;
  data.names[kNameBoxTop] = "Boxes/gone.png";
  data.productKind = kProductBox;
  std::vector<ProjectResult::MissingFace> missing;
  ApplyProject(*loaded, data, nullptr, nullptr, nullptr, shots, &missing);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].slot, kSlotBoxTop);
  EXPECT_EQ(missing[0].name, "Boxes/gone.png");
}

// A project saved without the floor and look block (an older program's, or
// one with the defaults) leaves the window's floor and look as they are; one
// with the block brings its own.
TEST_F(ProjectFiles, AProjectWithoutTheBlockKeepsTheWindowsFloorAndLook) {
  SceneState plain;
  const std::string without = dir_.path().toStdString() + "/plain.TSMR";
  ASSERT_TRUE(WriteProject(plain, without).ok);
  scene_->studioFloor.shadow = true;
  scene_->studioFloor.softness = 77;
  scene_->look.studio = true;
  scene_->look.setup = "dark";
  ASSERT_TRUE(ReadProject(*scene_, without).ok);
  EXPECT_TRUE(scene_->studioFloor.shadow);
  EXPECT_EQ(scene_->studioFloor.softness, 77);
  EXPECT_TRUE(scene_->look.studio);
  EXPECT_EQ(scene_->look.setup, "dark");

  SceneState styled;
  styled.look.setup = "soft";
  const std::string with = dir_.path().toStdString() + "/styled.TSMR";
  ASSERT_TRUE(WriteProject(styled, with).ok);
  ASSERT_TRUE(ReadProject(*scene_, with).ok);
  EXPECT_EQ(scene_->look.setup, "soft");
  EXPECT_FALSE(scene_->look.studio);
  EXPECT_FALSE(scene_->studioFloor.shadow);
}

// Where stored face names lead and how picked pictures are stored, as the
// rules say: beside the project (its folder, then its Boxes/, Books/ and
// Mug/), an absolute name as it is; a picture below the project's folder
// relative to it, anything else (a sibling folder too) absolute.
TEST(FaceNames, StoredNamesLeadBesideTheProjectAndPickedOnesAreStoredSo) {
  QTemporaryDir dir;
  const fs::path root = fs::path(dir.path().toStdString());
  const fs::path project = root / "shots";
  for (const fs::path& file : {project / "cover.png", project / "Books" / "spine.jpg", project / "Mug" / "wrap.jpg",
                               project / "Boxes" / "front.jpg", root / "elsewhere" / "back.png"}) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x";
  }
  const struct {
    std::string stored;
    fs::path found;
  } kResolved[] = {
      {"cover.png", project / "cover.png"},
      {"Books/spine.jpg", project / "Books" / "spine.jpg"},
      {"spine.jpg", project / "Books" / "spine.jpg"},
      {"wrap.jpg", project / "Mug" / "wrap.jpg"},
      {"old/folder/front.jpg", project / "Boxes" / "front.jpg"},
      {(root / "elsewhere" / "back.png").string(), root / "elsewhere" / "back.png"},
      {"missing.png", "missing.png"},
  };
  for (const auto& c : kResolved) EXPECT_EQ(ResolveFaceName(c.stored, project.string()), c.found.string()) << c.stored;

  const std::string program = (root / "program").string();
  EXPECT_EQ(StoredFaceName((project / "Books" / "spine.jpg").string(), "", project.string(), program), "Books/spine.jpg");
  EXPECT_EQ(StoredFaceName((root / "elsewhere" / "back.png").string(), "", project.string(), program),
            (root / "elsewhere" / "back.png").string())
      << "a sibling folder is stored absolute, never as ../";
}
