// HDR environment pictures: a hand-written Radiance file and one written by
// OpenEXR's own writer read back value for value; broken and oversized ones
// refused with a message.
#include <gtest/gtest.h>

#include <ImfRgbaFile.h>
#include <ImfArray.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "formats/environment_picture.h"
#include "tests/support/radiance_writer.h"

using namespace kestrova;

namespace {

std::array<float, 3> gradient(int x, int y) { return {0.25f * (x + 1), 0.5f * (y + 1), 3.0f}; }

std::string temporary(const char* name, const std::vector<uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace

TEST(EnvironmentPicture, RadianceAndOpenExrReadBackTheirValues) {
  FloatPicture hdr;
  std::string error;
  const std::string hdrPath = temporary("sky.hdr", test::RadianceBytes(4, 3, gradient));
  ASSERT_TRUE(ReadEnvironmentPicture(hdrPath, &hdr, &error)) << error;
  ASSERT_EQ(hdr.width, 4);
  ASSERT_EQ(hdr.height, 3);

  const std::string exrPath = ::testing::TempDir() + "sky.exr";
  {
    Imf::Array2D<Imf::Rgba> pixels(3, 4);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        const auto c = gradient(x, y);
        pixels[y][x] = Imf::Rgba(c[0], c[1], c[2], 1);
      }
    }
    Imf::RgbaOutputFile file(exrPath.c_str(), 4, 3, Imf::WRITE_RGBA);
    file.setFrameBuffer(&pixels[0][0], 1, 4);
    file.writePixels(3);
  }
  FloatPicture exr;
  ASSERT_TRUE(ReadEnvironmentPicture(exrPath, &exr, &error)) << error;
  ASSERT_EQ(exr.width, 4);
  ASSERT_EQ(exr.height, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const auto c = gradient(x, y);
      for (size_t k = 0; k < 3; ++k) {
        const size_t at = static_cast<size_t>((y * 4 + x) * 3) + k;
        EXPECT_NEAR(hdr.rgb[at], c[k], c[k] / 100) << x << "," << y;  // RGBE keeps 8 bits of mantissa
        EXPECT_NEAR(exr.rgb[at], c[k], c[k] / 500) << x << "," << y;  // half floats
      }
    }
  }
}

TEST(EnvironmentPicture, BrokenOversizedAndOtherFilesAreRefusedByName) {
  const std::vector<uint8_t> good = test::RadianceBytes(8, 4, gradient);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"huge.hdr", test::RadianceBytes(1, 1, gradient, "-Y 100000 +X 100000"), "larger than"},
      {"cut.hdr", std::vector<uint8_t>(good.begin(), good.end() - 40), "cut short"},
      {"text.hdr", {'h', 'e', 'l', 'l', 'o'}, "no Radiance"},
      {"text.exr", {'h', 'e', 'l', 'l', 'o'}, "OpenEXR"},
      {"sky.png", good, "an environment is"},
  };
  for (const auto& c : cases) {
    FloatPicture picture;
    picture.width = 7;
    std::string error;
    const std::string path = temporary(c.name, c.bytes);
    EXPECT_FALSE(ReadEnvironmentPicture(path, &picture, &error)) << c.name;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(picture.width, 7) << "left untouched";
  }
}
