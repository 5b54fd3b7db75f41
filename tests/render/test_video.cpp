// Animations written as video files and read back with FFmpeg's decoders.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <string>
#include <filesystem>
#include <memory>

#include "animation/keyframes.h"
#include "formats/video_writer.h"
#include "render/export_image.h"
#include "render/scene_initialiser.h"
#include "scene/product_styles.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/test_textures.h"
#include "tests/support/video_reader.h"

using namespace kestrova;

namespace {

class Video : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    ASSERT_TRUE(dir_.isValid());
    scene_ = std::make_unique<SceneState>();
    test::StillTestBox(*scene_);
    scene_->rotation = {20, 0, 0};
    AddKey(*scene_, 0);
    scene_->rotation = {20, 180, 0};
    AddKey(*scene_, 24);
  }

  RgbaImage frame(int index) {
    ExportOptions options;
    options.width = 160;
    options.height = 120;
    options.frame = index;
    std::string error;
    return RenderExport(*scene_, host_, options, &error);
  }

  // Writes every baked frame.
  bool write(const std::string& name, std::string* error) {
    auto writer = VideoWriter::Open(dir_.path().toStdString() + "/" + name, 160, 120, 12, error);
    if (!writer) return false;
    for (int i = 0; i < scene_->bakedFrameCount; ++i) {
      if (!writer->addFrame(frame(i), error)) return false;
    }
    return writer->finish(error);
  }

  static double meanDifference(const RgbaImage& a, const RgbaImage& b) {
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
      if (i % 4 == 3) continue;
      sum += std::abs(a.pixels[i] - b.pixels[i]);
      ++count;
    }
    return count ? sum / static_cast<double>(count) : 255.0;
  }

  QTemporaryDir dir_;
  RenderHost host_;
  std::unique_ptr<SceneState> scene_;
};

}  // namespace

TEST_F(Video, EveryFormatHoldsTheFramesAtTheSizeAndRate) {
  for (const char* name : {"a.mp4", "a.webm", "a.gif"}) {
    std::string error;
    ASSERT_TRUE(write(name, &error)) << name << ": " << error;
    RgbaImage middle;
    const test::VideoInfo info = test::ReadVideo(dir_.path().toStdString() + "/" + name, 12, &middle);
    EXPECT_EQ(info.frames, 24) << name;
    EXPECT_EQ(info.width, 160) << name;
    EXPECT_EQ(info.height, 120) << name;
    // A GIF counts its delays in hundredths of a second.
    EXPECT_NEAR(info.fps, 12.0, std::string(name).find(".gif") != std::string::npos ? 0.6 : 0.01) << name;
    EXPECT_LT(meanDifference(middle, frame(12)), 12.0) << name << ": the middle frame is the render of frame 12";
  }
}

TEST_F(Video, AnOddSizeOrAnUnwritableFileIsRefusedAndLeavesNothing) {
  std::string error;
  EXPECT_EQ(VideoWriter::Open(dir_.path().toStdString() + "/odd.mp4", 161, 120, 12, &error), nullptr);
  EXPECT_NE(error.find("even"), std::string::npos) << error;
  EXPECT_EQ(VideoWriter::Open("/nonexistent-folder/x.mp4", 160, 120, 12, &error), nullptr);
  EXPECT_NE(error.find("/nonexistent-folder/x.mp4"), std::string::npos) << error;
  {
    auto writer = VideoWriter::Open(dir_.path().toStdString() + "/cancelled.webm", 160, 120, 12, &error);
    ASSERT_NE(writer, nullptr) << error;
    ASSERT_TRUE(writer->addFrame(frame(0), &error));
    writer->abandon();
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path().toStdString() + "/cancelled.webm"));
}

TEST(VideoNames, TheExtensionDecidesWhateverItsCase) {
  for (const char* name : {"a.mp4", "a.webm", "a.gif", "SPIN.MP4", "Spin.WebM", "x/y.GIF"}) EXPECT_TRUE(IsVideoName(name)) << name;
  for (const char* name : {"a.png", "a.mp4.png", "mp4", "a.gi", ""}) EXPECT_FALSE(IsVideoName(name)) << name;
}

TEST_F(Video, APureRedProductDecodesRedChannelByChannelInEveryFormat) {
  const uint32_t red = test::MakeFlatTexture(255, 0, 0);
  for (auto& slot : scene_->textureSlot) slot = red;
  for (const char* name : {"red.mp4", "red.webm", "red.gif"}) {
    std::string error;
    ASSERT_TRUE(write(name, &error)) << name << ": " << error;
    RgbaImage decoded;
    test::ReadVideo(dir_.path().toStdString() + "/" + name, 0, &decoded);
    ASSERT_EQ(decoded.width, 160) << name;
    const uint8_t* middle = decoded.at(80, 60);
    EXPECT_GT(middle[0], 200) << name << ": red";
    EXPECT_LT(middle[1], 50) << name << ": green";
    EXPECT_LT(middle[2], 50) << name << ": blue";
  }
}

TEST_F(Video, ATransparentWebmCarriesAnAlphaPlaneAndMp4RefusesOne) {
  const std::string path = dir_.path().toStdString() + "/clear.webm";
  std::string error;
  auto writer = VideoWriter::Open(path, 160, 120, 12, &error, true);
  ASSERT_NE(writer, nullptr) << error;
  for (int i = 0; i < 3; ++i) {
    ExportOptions options;
    options.width = 160;
    options.height = 120;
    options.frame = i;
    options.transparent = true;
    ASSERT_TRUE(writer->addFrame(RenderExport(*scene_, host_, options, &error), &error)) << error;
  }
  ASSERT_TRUE(writer->finish(&error)) << error;
  RgbaImage decoded;
  const test::VideoInfo info = test::ReadVideo(path, 0, &decoded);
  EXPECT_EQ(info.frames, 3);
  EXPECT_TRUE(info.alphaTagged);
  EXPECT_TRUE(info.alphaPlane);
  ASSERT_EQ(decoded.width, 160);
  EXPECT_LT(decoded.at(0, 0)[3], 16) << "the background is clear";
  EXPECT_GT(decoded.at(80, 60)[3], 240) << "the product is opaque";

  EXPECT_EQ(VideoWriter::Open(dir_.path().toStdString() + "/clear.mp4", 160, 120, 12, &error, true), nullptr);
  EXPECT_NE(error.find(".webm"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(dir_.path().toStdString() + "/clear.mp4"));
}
