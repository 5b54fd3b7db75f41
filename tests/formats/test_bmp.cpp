#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "formats/bmp_export.h"
#include "scene/rgba_image.h"

using namespace kestrova;

namespace {

uint32_t read32(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

uint16_t read16(const std::vector<uint8_t>& bytes, size_t at) {
  uint16_t value = 0;
  std::memcpy(&value, bytes.data() + at, 2);
  return value;
}

RgbaImage solid(int width, int height) {
  RgbaImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width * height * 4), 0);
  return image;
}

}  // namespace

TEST(BmpExport, WidthIsRoundedDownToAMultipleOfFour) {
  EXPECT_EQ(CaptureWidth(801), 800);
  EXPECT_EQ(CaptureWidth(803), 800);
  EXPECT_EQ(CaptureWidth(804), 804);
  EXPECT_EQ(CaptureWidth(3), 0);
  const CapturedFrame frame = CaptureFromRgba(solid(801, 600));
  EXPECT_EQ(frame.width, 800);
  EXPECT_EQ(frame.height, 600);
  EXPECT_EQ(frame.bgr.size(), 800u * 600u * 3u);
}

TEST(BmpExport, HeadersAreAsTabled) {
  const CapturedFrame frame = CaptureFromRgba(solid(804, 3));
  const std::vector<uint8_t> file = EncodeBmpFile(frame);
  ASSERT_EQ(file.size(), 54u + 804u * 3u * 3u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(read32(file, 2), file.size());
  EXPECT_EQ(read16(file, 6), 0);
  EXPECT_EQ(read16(file, 8), 0);
  EXPECT_EQ(read32(file, 10), 54u);
  EXPECT_EQ(read32(file, 14), 40u);
  EXPECT_EQ(read32(file, 18), 804u);
  EXPECT_EQ(read32(file, 22), 3u);
  EXPECT_EQ(read16(file, 26), 1);
  EXPECT_EQ(read16(file, 28), 24);
  EXPECT_EQ(read32(file, 30), 0u);
  EXPECT_EQ(read32(file, 34), 804u * 3u * 3u);
  for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(read32(file, at), 0u) << at;

  const std::vector<uint8_t> dib = EncodeDib(frame);
  EXPECT_EQ(dib.size(), 40u + 804u * 3u * 3u);
  EXPECT_TRUE(std::equal(dib.begin(), dib.end(), file.begin() + 14));
}

TEST(BmpExport, NarrowViewGivesAValidEmptyImage) {
  const CapturedFrame frame = CaptureFromRgba(solid(3, 10));
  const std::vector<uint8_t> file = EncodeBmpFile(frame);
  ASSERT_EQ(file.size(), 54u);
  EXPECT_EQ(read32(file, 2), 54u);
  EXPECT_EQ(read32(file, 18), 0u);
  EXPECT_EQ(read32(file, 22), 10u);
  EXPECT_EQ(read32(file, 34), 0u);
}

TEST(BmpExport, UnwritableTargetFailsWithAMessage) {
  std::string error;
  EXPECT_FALSE(WriteBmpFile("/nonexistent-folder/shot.bmp", CaptureFromRgba(solid(4, 4)), &error));
  EXPECT_NE(error.find("/nonexistent-folder/shot.bmp"), std::string::npos);
}
