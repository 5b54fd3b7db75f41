// HDR environment pictures: a hand-written Radiance file and one written by
// OpenEXR's own writer read back value for value; broken and oversized ones
// refused with a message.
#include <gtest/gtest.h>

#include <ImfRgbaFile.h>
#include <ImfArray.h>
#include <ImfHeader.h>

#include <array>
#include <cstring>
#include <functional>
#include <limits>
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
      {"tall.hdr", test::RadianceBytes(1, 1, gradient, "-Y 16385 +X 8"), "larger than"},
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

namespace {

void writeExr(const std::string& path, int width, int height, const std::function<Imf::Rgba(int, int)>& pixel) {
  Imf::Array2D<Imf::Rgba> pixels(height, width);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixels[y][x] = pixel(x, y);
  }
  Imf::RgbaOutputFile file(path.c_str(), width, height, Imf::WRITE_RGBA);
  file.setFrameBuffer(&pixels[0][0], 1, static_cast<size_t>(width));
  file.writePixels(height);
}

}  // namespace

// OpenEXR files refused from what they hold before any large memory is set
// aside: a header attribute claiming more than the file, values that are
// not numbers. A large sky is read averaged down for lighting.
TEST(EnvironmentPicture, OpenExrHeadersAndValuesAreCheckedAndLargeSkiesReadSmaller) {
  // The magic, the version, then one string attribute claiming 2 GB.
  std::vector<uint8_t> claims = {0x76, 0x2f, 0x31, 0x01, 2, 0, 0, 0};
  for (const char* text : {"owner", "string"}) claims.insert(claims.end(), text, text + std::strlen(text) + 1);
  claims.insert(claims.end(), {0xff, 0xff, 0xff, 0x7f, 'x', 'y', 0});
  FloatPicture picture;
  std::string error;
  EXPECT_FALSE(ReadEnvironmentPicture(temporary("claims.exr", claims), &picture, &error));
  EXPECT_NE(error.find("claims 2147483647 bytes"), std::string::npos) << error;

  for (const float odd : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
    const std::string path = ::testing::TempDir() + "odd.exr";
    writeExr(path, 8, 4, [odd](int x, int y) { return x == 3 && y == 2 ? Imf::Rgba(odd, 1, 1, 1) : Imf::Rgba(1, 1, 1, 1); });
    EXPECT_FALSE(ReadEnvironmentPicture(path, &picture, &error)) << odd;
    EXPECT_NE(error.find("not numbers"), std::string::npos) << error;
  }

  // 4096 x 2048, a bright left half: read at half the size, each pixel the
  // mean of the four it stands for.
  const std::string large = ::testing::TempDir() + "large.exr";
  writeExr(large, 4096, 2048, [](int x, int) { return x < 2048 ? Imf::Rgba(4, 2, 1, 1) : Imf::Rgba(0, 0, 0, 1); });
  ASSERT_TRUE(ReadEnvironmentPicture(large, &picture, &error)) << error;
  EXPECT_EQ(picture.width, 2048);
  EXPECT_EQ(picture.height, 1024);
  EXPECT_FLOAT_EQ(picture.rgb[0], 4);
  EXPECT_FLOAT_EQ(picture.rgb[1], 2);
  EXPECT_FLOAT_EQ(picture.rgb[(1023 * 2048 + 2047) * 3], 0);
}

// A run-length scanline whose literal runs are 128 bytes long, the most
// one count byte says, built by hand after the Radiance format.
TEST(EnvironmentPicture, ALiteralRunOfExactly128BytesIsRead) {
  const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 128\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), {2, 2, 0, 128});
  for (int channel = 0; channel < 4; ++channel) {
    bytes.push_back(128);  // a literal run of 128 bytes
    for (int i = 0; i < 128; ++i) bytes.push_back(static_cast<uint8_t>(channel == 3 ? 129 : channel == 0 ? 64 + i : 128));
  }
  FloatPicture picture;
  std::string error;
  ASSERT_TRUE(ReadEnvironmentPicture(temporary("literal.hdr", bytes), &picture, &error)) << error;
  ASSERT_EQ(picture.width, 128);
  for (int i = 0; i < 128; i += 17) {
    // Mantissa m with exponent 129: m / 128.
    EXPECT_NEAR(picture.rgb[static_cast<size_t>(i) * 3], (64 + i) / 128.0, 0.01) << i;
    EXPECT_NEAR(picture.rgb[static_cast<size_t>(i) * 3 + 1], 1.0, 0.01) << i;
  }
}

// Found by the fuzzer: an OpenEXR picture whose data window lies far from
// the origin. Reading it must not reckon a pointer that overflows (the
// sanitizer run of these tests fails on it); it is read or refused.
TEST(EnvironmentPicture, AWindowFarFromTheOriginIsReadOrRefusedWithoutOverflow) {
  const std::string hex = "762f3101020000006368616e6e656c730063686c697374004900000041000100000000000000010000000100000042000100000000000000010000000100000047000100000000000000010000000100000052000100000000000000010000000100000000636f6d7072657373696f6e00636f6d7072657373696f6e0001000000046461746157696e646f7700626f78326900100000000000003c003c003c003c003c003c003c003c003c003c003c003c003c0030003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c003c";
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  FloatPicture picture;
  std::string why;
  const bool read = DecodeEnvironmentPicture(bytes, true, &picture, &why);
  EXPECT_TRUE(read || !why.empty());
}

// A sky's pixels are its data window, not its display window: a 4 x 3 data
// window at (2, 3) inside a 10 x 10 display window reads as 4 x 3 with the
// values written there, as OpenEXR's own writer lays them out.
TEST(EnvironmentPicture, AnOpenExrIsItsDataWindowNotItsDisplayWindow) {
  const std::string path = ::testing::TempDir() + "window.exr";
  const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(9, 9)), data(Imath::V2i(2, 3), Imath::V2i(5, 5));
  auto value = [](int x, int y) { return 0.25f + 0.5f * static_cast<float>(x) + 0.125f * static_cast<float>(y); };
  {
    Imf::Array2D<Imf::Rgba> pixels(3, 4);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) pixels[y][x] = Imf::Rgba(value(x, y), 1, 1, 1);
    }
    Imf::RgbaOutputFile file(path.c_str(), Imf::Header(display, data), Imf::WRITE_RGBA);
    // The frame buffer is addressed in the display window's coordinates.
    file.setFrameBuffer(&pixels[0][0] - data.min.x - data.min.y * 4, 1, 4);
    file.writePixels(3);
  }
  FloatPicture sky;
  std::string error;
  ASSERT_TRUE(ReadEnvironmentPicture(path, &sky, &error)) << error;
  ASSERT_EQ(sky.width, 4);
  ASSERT_EQ(sky.height, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_NEAR(sky.rgb[static_cast<size_t>((y * 4 + x) * 3)], value(x, y), 0.01) << x << "," << y;
  }
}
