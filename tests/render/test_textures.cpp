#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include <sys/stat.h>

#include "pictures/cmyk_jpeg.h"
#include "render/studio/mipmaps.h"
#include "tests/support/needs_tool.h"
#include "tests/support/colour_difference.h"
#include "pictures/http_fetch.h"
#include "pictures/picture.h"
#include "pictures/qimage_bridge.h"
#include "render/texture_loader.h"
#include "tests/support/byte_writer.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/metafile_writer.h"

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

struct TextureSize {
  int width;
  int height;
};

TextureSize sizeOf(uint32_t texture) {
  glBindTexture(GL_TEXTURE_2D, texture);
  TextureSize size{};
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &size.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &size.height);
  return size;
}

std::vector<uint8_t> texturePixels(uint32_t texture) {
  const TextureSize size = sizeOf(texture);
  std::vector<uint8_t> pixels(static_cast<size_t>(size.width * size.height * 4));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

QByteArray encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format)) << format;
  return bytes;
}

// Qt reads GIF but does not write it: a 1 x 1 GIF89a by hand, colour 0 of a
// two-entry table, LZW minimum code size 2.
QByteArray tinyGif(uint8_t r, uint8_t g, uint8_t b) {
  const uint8_t bytes[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, r, g, b, 0, 0, 0,
                           0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3B};
  return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

class Textures : public test::HeadlessGL {
 protected:
  void SetUp() override {
    HeadlessGL::SetUp();
    ASSERT_TRUE(dir_.isValid());
    scene_ = std::make_unique<SceneState>();
    previous_ = fs::current_path();
    fs::current_path(dir_.path().toStdString());
  }
  void TearDown() override { fs::current_path(previous_); }

  std::string write(const std::string& name, const QByteArray& bytes) {
    const fs::path path = fs::path(dir_.path().toStdString()) / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
    return path.string();
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    return write(name, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<qsizetype>(bytes.size())));
  }
  std::string writeImage(const std::string& name, int w, int h, QColor colour, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return write(name, encode(image, format));
  }

  QTemporaryDir dir_;
  fs::path previous_;
  std::unique_ptr<SceneState> scene_;
};

}  // namespace

TEST(TextureSizing, NearestPowerOfTwoOnALogScale) {
  struct Case {
    int pixels;
    int expected;
  };
  const Case cases[] = {{300, 256}, {400, 512}, {256, 256}, {1024, 1024}, {362, 256},
                        {363, 512}, {1, 1},     {0, 1},     {3, 4},       {16385, 16384}};
  for (const Case& c : cases) EXPECT_EQ(TextureDimension(c.pixels, 16384), c.expected) << c.pixels;
  EXPECT_EQ(TextureDimension(5000, 2048), 2048);  // above the maximum: clamped
  EXPECT_EQ(TextureDimension(2000, 1024), 1024);  // rounds up past it: still clamped
}

TEST(TextureSizing, HimetricAtNinetySixDotsPerInch) {
  EXPECT_EQ(PixelsToHimetric(96), 2540);
  EXPECT_EQ(PixelsToHimetric(300), 7938);
  EXPECT_EQ(HimetricToPixels(PixelsToHimetric(300)), 300);
  EXPECT_EQ(HimetricToPixels(8000), 302);
}

TEST(TexturePixelsRule, BlackIsSeeThroughAndRowsAreBottomUp) {
  RgbaImage image;
  image.width = 2;
  image.height = 2;
  // Top row: black, (1, 0, 0). Bottom row: white, grey.
  image.pixels = {0, 0, 0, 255, 1, 0, 0, 255, 255, 255, 255, 255, 9, 9, 9, 255};
  const std::vector<uint8_t> gl = TexturePixels(image);
  // GL row 0 is the picture's bottom row.
  EXPECT_EQ(gl[0], 255);
  EXPECT_EQ(gl[3], 255);
  EXPECT_EQ(gl[4], 9);
  // GL row 1 (height - 1) is the picture's top row.
  EXPECT_EQ(gl[8 + 3], 0) << "pure black gets alpha 0";
  EXPECT_EQ(gl[12], 1);
  EXPECT_EQ(gl[12 + 3], 255) << "(1, 0, 0) keeps alpha 255";
}

TEST(PictureBytes, EveryFormatBecomesTheRgbaQtWouldConvertItTo) {
  // The direct pass for decoded JPEGs and BMPs against Qt's own conversion,
  // and the formats that still go through Qt.
  QImage pattern(19, 7, QImage::Format_ARGB32);
  for (int y = 0; y < pattern.height(); ++y) {
    for (int x = 0; x < pattern.width(); ++x) pattern.setPixel(x, y, qRgba(x * 13, y * 37, (x * y) % 256, 40 + x * 10));
  }
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32,
                                      QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
    const QImage image = pattern.convertToFormat(format);
    const QImage expected = image.convertToFormat(QImage::Format_RGBA8888);
    const RgbaImage rgba = FromQImage(image);
    ASSERT_EQ(rgba.width, 19);
    ASSERT_EQ(rgba.height, 7);
    for (int y = 0; y < 7; ++y) {
      EXPECT_EQ(0, std::memcmp(rgba.pixels.data() + y * 19 * 4, expected.constScanLine(y), 19 * 4))
          << "format " << format << ", row " << y;
    }
  }
}

TEST_F(Textures, LoadsAPictureSizedToPowersOfTwo) {
  QImage image(300, 400, QImage::Format_RGB32);
  image.fill(QColor(10, 200, 30));
  for (int x = 0; x < 300; ++x) image.setPixelColor(x, 0, Qt::black);  // the top row
  write("face.png", encode(image, "PNG"));
  uint32_t slot = 0;
  std::string error;
  ASSERT_TRUE(LoadTexture(*scene_, "face.png", slot, &error)) << error;
  const TextureSize size = sizeOf(slot);
  EXPECT_EQ(size.width, 256);
  EXPECT_EQ(size.height, 512);
  EXPECT_EQ(scene_->pictureWidth[0], 7938);
  EXPECT_EQ(scene_->pictureHeight[0], 10583);
  const std::vector<uint8_t> pixels = texturePixels(slot);
  EXPECT_EQ(pixels[1], 200);
  EXPECT_EQ(pixels[3], 255);
  // The picture's top row ends up at texture row height - 1, see-through.
  const size_t topRow = static_cast<size_t>(511) * 256 * 4;
  EXPECT_EQ(pixels[topRow + 3], 0);
}

TEST_F(Textures, PowerOfTwoWidthIsKeptAndOversizeIsClamped) {
  writeImage("wide.png", 16385, 1, Qt::red, "PNG");
  writeImage("pow.png", 128, 64, Qt::red, "PNG");
  uint32_t slot = 0;
  ASSERT_TRUE(LoadTexture(*scene_, "pow.png", slot));
  EXPECT_EQ(sizeOf(slot).width, 128);
  EXPECT_EQ(sizeOf(slot).height, 64);
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  ASSERT_LT(maxSize, 16385);
  ASSERT_TRUE(LoadTexture(*scene_, "wide.png", slot));
  EXPECT_EQ(sizeOf(slot).width, std::min<GLint>(maxSize, kMaxFaceTexture)) << "the GL's limit, or a face's budget";
}

TEST_F(Textures, HostileMetafilesCostNoMoreThanARealPicture) {
  // A few hundred bytes claiming a frame of 100 metres.
  write("huge.wmf", test::MakeWmf(30000, 30000, 8, 10, 200, 10));
  write("huge.emf", test::MakeEmf(64, 64, 10000000, 10000000, 10, 10, 200));
  uint32_t slot = 0;
  for (const char* name : {"huge.wmf", "huge.emf"}) {
    std::string error;
    ASSERT_TRUE(LoadTexture(*scene_, name, slot, &error)) << name << ": " << error;
    EXPECT_LE(sizeOf(slot).width, kMaxFaceTexture) << name;
    EXPECT_LE(sizeOf(slot).height, kMaxFaceTexture) << name;
  }
}

TEST_F(Textures, AHeaderClaimingAHugePictureIsRefusedBeforeAnythingIsAllocated) {
  QImage small(16, 16, QImage::Format_RGB32);
  small.fill(Qt::red);
  QByteArray jpeg = encode(small, "JPEG");
  // The frame header's height and width, patched to claim 16000 x 16000.
  for (qsizetype i = 0; i + 8 < jpeg.size(); ++i) {
    if (static_cast<uint8_t>(jpeg[i]) == 0xFF && (static_cast<uint8_t>(jpeg[i + 1]) & 0xFE) == 0xC0) {
      for (qsizetype at : {i + 5, i + 7}) {
        jpeg[at] = static_cast<char>(16000 >> 8);
        jpeg[at + 1] = static_cast<char>(16000 & 0xFF);
      }
      break;
    }
  }
  write("claims.jpg", jpeg.left(400));
  uint32_t slot = 0;
  std::string error;
  EXPECT_FALSE(LoadTexture(*scene_, "claims.jpg", slot, &error));
  EXPECT_NE(error.find("claims.jpg"), std::string::npos) << error;
  EXPECT_EQ(slot, 0u);
}

TEST_F(Textures, TwoEmfFilesInOneProcessAndBrokenOnesSaySo) {
  // Both with text: drawing metafile text once aborted a program without a
  // GUI application, and a second EMF in one process aborted in fontconfig.
  write("a.emf", test::MakeEmf(64, 32, 2000, 1000, 200, 0, 0, u"Kestrova"));
  write("b.emf", test::MakeEmf(64, 32, 2000, 1000, 0, 200, 0, u"Box shot"));
  std::vector<uint8_t> broken = test::MakeEmf(32, 32, 1000, 1000, 0, 0, 200);
  broken.resize(broken.size() / 2);  // no end-of-file record
  write("broken.emf", broken);
  uint32_t first = 0;
  uint32_t second = 0;
  EXPECT_TRUE(LoadTexture(*scene_, "a.emf", first));
  EXPECT_TRUE(LoadTexture(*scene_, "b.emf", second)) << "the second metafile of a project";
  uint32_t third = 0;
  std::string error;
  EXPECT_FALSE(LoadTexture(*scene_, "broken.emf", third, &error));
  EXPECT_NE(error.find("broken.emf"), std::string::npos) << error;
  EXPECT_EQ(third, 0u);
}

TEST_F(Textures, EveryFormatDecodes) {
  struct Case {
    std::string file;
    QByteArray bytes;
    int himetricWidth;
  };
  QImage red(40, 20, QImage::Format_RGB32);
  red.fill(QColor(220, 20, 20));
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(QColor(220, 20, 20));
  const std::vector<uint8_t> wmf = test::MakeWmf(1000, 500, 1000, 220, 20, 20);
  const std::vector<uint8_t> emf = test::MakeEmf(200, 100, 6000, 3000, 220, 20, 20);
  const Case cases[] = {
      {"a.jpg", encode(red, "JPG"), PixelsToHimetric(40)},
      {"a.bmp", encode(red, "BMP"), PixelsToHimetric(40)},
      {"a.gif", tinyGif(220, 20, 20), PixelsToHimetric(1)},
      {"a.ico", encode(icon, "ICO"), PixelsToHimetric(32)},
      {"a.png", encode(red, "PNG"), PixelsToHimetric(40)},
      {"a.wmf", QByteArray(reinterpret_cast<const char*>(wmf.data()), static_cast<qsizetype>(wmf.size())), 2540},
      {"a.emf", QByteArray(reinterpret_cast<const char*>(emf.data()), static_cast<qsizetype>(emf.size())), 6000},
  };
  for (const Case& c : cases) {
    if (c.bytes.isEmpty()) {
      ADD_FAILURE() << c.file << ": Qt cannot write this format here";
      continue;
    }
    const std::string path = write(c.file, c.bytes);
    PictureResult decoded = LoadPicture(path);
    ASSERT_TRUE(decoded.picture) << c.file << ": " << decoded.error;
    EXPECT_NEAR(decoded.picture->himetricWidth(), c.himetricWidth, 2) << c.file;
    const RgbaImage drawn = decoded.picture->render(16, 16);
    ASSERT_EQ(drawn.width, 16);
    const uint8_t* centre = drawn.at(8, 8);
    EXPECT_NEAR(centre[0], 220, 12) << c.file;
    EXPECT_NEAR(centre[1], 20, 12) << c.file;
  }
}

TEST_F(Textures, WebAddressesAreFetched) {
  test::HttpTestServer server;
  QImage image(64, 32, QImage::Format_RGB32);
  image.fill(Qt::blue);
  server.body = encode(image, "PNG");
  uint32_t slot = 0;
  ASSERT_TRUE(LoadTexture(*scene_, server.url("/face.png"), slot));
  EXPECT_EQ(sizeOf(slot).width, 64);
  EXPECT_EQ(scene_->pictureWidth[0], PixelsToHimetric(64));
}

TEST_F(Textures, SlowOrOversizedAnswersFailCleanly) {
  SetPictureFetchLimits({300, 1000});
  test::HttpTestServer silent;
  silent.mode = test::HttpTestServer::Mode::Silent;
  uint32_t slot = 77;
  std::string error;
  EXPECT_FALSE(LoadTexture(*scene_, silent.url("/face.png"), slot, &error));
  EXPECT_NE(error.find("no answer"), std::string::npos) << error;
  test::HttpTestServer big;
  big.body = QByteArray(5000, 'x');
  EXPECT_FALSE(LoadTexture(*scene_, big.url("/face.png"), slot, &error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
  EXPECT_EQ(slot, 77u);
  SetPictureFetchLimits({});
}

TEST(JpegScans, CountedFromTheMarkersAndTooManyAreRefusedBeforeDecoding) {
  QImage image(64, 64, QImage::Format_RGB32);
  image.fill(QColor(30, 120, 200));
  QByteArray progressive;
  QBuffer buffer(&progressive);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "JPEG");
  writer.setProgressiveScanWrite(true);
  ASSERT_TRUE(writer.write(image));
  const std::vector<uint8_t> real(progressive.begin(), progressive.end());
  EXPECT_GT(JpegScanCount(real), 1);
  EXPECT_LE(JpegScanCount(real), 64);
  EXPECT_NE(DecodePicture(real, "real.jpg").picture, nullptr);

  // Thousands of empty scans in a few kilobytes.
  std::vector<uint8_t> hostile = {0xFF, 0xD8};
  for (int scan = 0; scan < 1000; ++scan) {
    const uint8_t sos[] = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
    hostile.insert(hostile.end(), std::begin(sos), std::end(sos));
  }
  hostile.insert(hostile.end(), {0xFF, 0xD9});
  EXPECT_EQ(JpegScanCount(hostile), 1000);
  const PictureResult refused = DecodePicture(hostile, "scans.jpg");
  EXPECT_EQ(refused.picture, nullptr);
  EXPECT_NE(refused.error.find("more than 64 scans"), std::string::npos) << refused.error;
  EXPECT_EQ(JpegScanCount({0x89, 'P', 'N', 'G'}), 0);
}

TEST(WebAddresses, LocalAddressesAreKnownWhateverTheirForm) {
  for (const char* local : {"127.0.0.1", "127.9.8.7", "10.1.2.3", "172.16.0.1", "172.31.255.255", "192.168.4.4",
                            "169.254.1.1", "0.0.0.0", "::1", "fe80::1", "fd12::3", "::ffff:192.168.1.1"}) {
    EXPECT_TRUE(IsLocalAddress(local)) << local;
  }
  for (const char* remote : {"8.8.8.8", "172.32.0.1", "172.15.255.255", "192.169.0.1", "2001:db8::1", "not an address"}) {
    EXPECT_FALSE(IsLocalAddress(remote)) << remote;
  }
}

TEST(WebAddresses, ARedirectNeverLeadsFromTheWebToTheUsersOwnMachine) {
  const std::vector<std::string> web{"203.0.113.7"};
  const std::vector<std::string> loopback{"127.0.0.1"};
  EXPECT_TRUE(RedirectAllowed("http://shop.example/a.png", web, "https://cdn.example/a.png", {"198.51.100.2"}));
  EXPECT_FALSE(RedirectAllowed("http://shop.example/a.png", web, "http://127.0.0.1:631/", loopback));
  EXPECT_FALSE(RedirectAllowed("http://shop.example/a.png", web, "http://printer.example/", {"192.168.1.20"}));
  EXPECT_FALSE(RedirectAllowed("http://shop.example/a.png", web, "http://localhost/", {}));
  EXPECT_FALSE(RedirectAllowed("http://shop.example/a.png", web, "file:///etc/passwd", {}));
  EXPECT_FALSE(RedirectAllowed("http://shop.example/a.png", web, "ftp://cdn.example/a.png", {"198.51.100.2"}));
  EXPECT_TRUE(RedirectAllowed("http://127.0.0.1:8080/a.png", loopback, "http://127.0.0.1:9090/a.png", loopback))
      << "a link to the user's own machine may move about on it";
}

TEST_F(Textures, MissingOrCorruptFilesChangeNothing) {
  writeImage("good.png", 64, 64, Qt::red, "PNG");
  write("corrupt.jpg", QByteArray("\xFF\xD8\xFF\xE0 this is not really a JPEG", 30));
  write("text.jpg", QByteArray("hello"));
  std::vector<uint8_t> wmf = test::MakeWmf(100, 100, 96, 1, 2, 3);
  wmf.resize(30);
  write("truncated.wmf", wmf);
  uint32_t slot = 0;
  ASSERT_TRUE(LoadTexture(*scene_, "good.png", slot));
  const uint32_t before = slot;
  scene_->textureName[kNameBoxFront] = "Boxes/good.png";
  for (const char* name : {"missing.png", "corrupt.jpg", "text.jpg", "truncated.wmf"}) {
    std::string error;
    EXPECT_FALSE(LoadTexture(*scene_, name, slot, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_EQ(slot, before) << name;
    EXPECT_TRUE(glIsTexture(before)) << name;
    EXPECT_EQ(scene_->pictureWidth[0], PixelsToHimetric(64)) << name;
  }
  EXPECT_EQ(scene_->textureName[kNameBoxFront], "Boxes/good.png");
}

TEST_F(Textures, ReplacedTextureNamesAreDeleted) {
  writeImage("a.png", 8, 8, Qt::red, "PNG");
  uint32_t slot = 0;
  ASSERT_TRUE(LoadTexture(*scene_, "a.png", slot));
  const uint32_t first = slot;
  ASSERT_TRUE(LoadTexture(*scene_, "a.png", slot));
  EXPECT_NE(slot, first);
  EXPECT_FALSE(glIsTexture(first));
}

TEST_F(Textures, AbsoluteFlagTakesTheNameAsAFullPath) {
  const std::string full = writeImage("sub/pic.png", 8, 8, Qt::red, "PNG");
  uint32_t slot = 0;
  EXPECT_FALSE(LoadTexture(*scene_, full.substr(1), slot)) << "relative to the current directory";
  EXPECT_FALSE(LoadTexture(*scene_, full, slot)) << "a leading slash stays under the current directory";
  const std::string nested = writeImage("sub/here/pic.png", 8, 8, Qt::red, "PNG");
  EXPECT_TRUE(LoadTexture(*scene_, "/sub/here/pic.png", slot)) << nested;
  scene_->imagePathIsAbsolute = 2;
  EXPECT_TRUE(LoadTexture(*scene_, full, slot));
}

TEST_F(Textures, HalfTransparentPixelsAreDrawnOntoBlack) {
  QImage image(8, 8, QImage::Format_ARGB32);
  image.fill(QColor(200, 100, 50, 128));
  image.setPixelColor(0, 0, QColor(0, 0, 0, 0));
  for (const char* format : {"ico", "png"}) {
    const std::string name = std::string("half.") + format;
    write(name, encode(image, format));
    uint32_t slot = 0;
    ASSERT_TRUE(LoadTexture(*scene_, name, slot)) << format;
    const std::vector<uint8_t> texels = texturePixels(slot);
    // A texel away from the clear corner (GL rows are bottom-up).
    const uint8_t* texel = texels.data() + 4 * (4 * 8 + 4);
    EXPECT_NEAR(texel[0], 100, 2) << format;
    EXPECT_NEAR(texel[1], 50, 2) << format;
    EXPECT_NEAR(texel[2], 25, 2) << format;
    EXPECT_EQ(texel[3], 255) << format;
    const uint8_t* corner = texels.data() + 4 * (7 * 8 + 0);
    EXPECT_EQ(corner[3], 0) << format << ": a clear pixel is black, and black is see-through";
  }
}

TEST_F(Textures, OnlyRegularFilesAreOpened) {
  const std::string fifo = (fs::path(dir_.path().toStdString()) / "face.jpg").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(fs::path(dir_.path().toStdString()) / "folder.png");
  uint32_t slot = 0;
  std::string error;
  for (const char* name : {"face.jpg", "folder.png", "/dev/zero"}) {
    scene_->imagePathIsAbsolute = name[0] == '/' ? 2 : 0;
    EXPECT_FALSE(LoadTexture(*scene_, name, slot, &error)) << name;  // returns: a FIFO would block for ever
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << name << ": " << error;
  }
  EXPECT_EQ(slot, 0u);
}

TEST_F(Textures, BuiltInBitmapIsMipmapped) {
  uint32_t slot = 0;
  ASSERT_TRUE(LoadBitmapTexture(slot));
  EXPECT_EQ(sizeOf(slot).width, 64);
  GLint level1 = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
  EXPECT_EQ(level1, 32);
}

TEST_F(Textures, PickingAFaceImageStoresPrefixAndNameAndLoadsIt) {
  const std::string chosen = writeImage("elsewhere/My Front.png", 32, 32, Qt::red, "PNG");
  std::vector<ImageDialogRequest> asked;
  auto ask = [&](const ImageDialogRequest& request) -> std::optional<std::string> {
    asked.push_back(request);
    return chosen;
  };
  ASSERT_TRUE(SelectFaceImage(*scene_, FaceRequest::BoxFront, ask));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, "Select Back Texture");
  EXPECT_EQ(asked[0].defaultExtension, "jpg");
  EXPECT_EQ(asked[0].filter, kImageFilter);
  EXPECT_EQ(scene_->textureName[kNameBoxFront], "Boxes/My Front.png");
  EXPECT_EQ(scene_->textureNameLength[kLengthBoxFront], static_cast<float>(chosen.size()));
  EXPECT_EQ(scene_->imagePathIsAbsolute, 2.0f);
  EXPECT_NE(scene_->textureSlot[kSlotBoxFront], 0u);

  ASSERT_TRUE(SelectFaceImage(*scene_, FaceRequest::BookSpine, ask));
  EXPECT_EQ(asked[1].title, "Select Left Texture");
  EXPECT_EQ(scene_->textureName[kNameBookSpine], "Books/My Front.png");
  ASSERT_TRUE(SelectFaceImage(*scene_, FaceRequest::Mug, ask));
  EXPECT_EQ(scene_->textureName[kNameMug], "Mug/My Front.png");
  ASSERT_TRUE(SelectFaceImage(*scene_, FaceRequest::BookTop, ask));
  EXPECT_NE(scene_->textureSlot[kSlotBookPage2], 0u);
}

TEST_F(Textures, CancelOrAFailedPickLeavesSlotNameAndLength) {
  scene_->textureName[kNameBoxTop] = "Boxes/old.jpg";
  scene_->textureNameLength[kLengthBoxTop] = 42;
  scene_->textureSlot[kSlotBoxTop] = 5;
  auto cancel = [](const ImageDialogRequest&) -> std::optional<std::string> { return std::nullopt; };
  EXPECT_TRUE(SelectFaceImage(*scene_, FaceRequest::BoxTop, cancel));
  write("broken.jpg", QByteArray("not a picture"));
  const std::string broken = dir_.path().toStdString() + "/broken.jpg";
  auto pickBroken = [&](const ImageDialogRequest&) -> std::optional<std::string> { return broken; };
  std::string error;
  EXPECT_FALSE(SelectFaceImage(*scene_, FaceRequest::BoxTop, pickBroken, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(scene_->textureName[kNameBoxTop], "Boxes/old.jpg");
  EXPECT_EQ(scene_->textureNameLength[kLengthBoxTop], 42.0f);
  EXPECT_EQ(scene_->textureSlot[kSlotBoxTop], 5u);
  EXPECT_EQ(scene_->imagePathIsAbsolute, 0.0f);
}

// ---- Artwork as designers hand it over ----

namespace {

std::vector<uint8_t> encoded(const QImage& image, const char* format, int quality = -1) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, quality)) << format;
  return {bytes.begin(), bytes.end()};
}

// A picture no turn or mirror leaves unchanged: colour varies along both axes.
QImage asymmetric(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1), 60));
  }
  return image;
}

}  // namespace

TEST(Artwork, WebpAndTiffDecodeToTheirPngTwin) {
  const QImage original = asymmetric(37, 23);
  const PictureResult png = DecodePicture(encoded(original, "PNG"), "twin.png");
  ASSERT_TRUE(png.picture) << png.error;
  const RgbaImage expected = png.picture->render(37, 23);
  // Quality 100 makes Qt's WebP writer lossless; TIFF always is.
  for (const auto& [format, quality] : {std::pair{"WEBP", 100}, {"TIFF", -1}}) {
    const PictureResult decoded = DecodePicture(encoded(original, format, quality), std::string("twin.") + format);
    ASSERT_TRUE(decoded.picture) << format << ": " << decoded.error;
    EXPECT_EQ(decoded.picture->himetricWidth(), png.picture->himetricWidth()) << format;
    EXPECT_EQ(decoded.picture->himetricHeight(), png.picture->himetricHeight()) << format;
    EXPECT_EQ(decoded.picture->render(37, 23).pixels, expected.pixels) << format;
  }
}

TEST(Artwork, APhotoStandsAsItsExifOrientationSays) {
  // 40 x 20, red on the left half and blue on the right.
  QImage photo(40, 20, QImage::Format_RGB32);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 40; ++x) photo.setPixel(x, y, x < 20 ? qRgb(230, 20, 20) : qRgb(20, 20, 230));
  }
  std::vector<uint8_t> jpeg = encoded(photo, "JPEG", 95);
  // An APP1 Exif segment after the start marker: big-endian TIFF header, one
  // IFD entry, Orientation (0x0112) = 6: the camera was turned a quarter to
  // the right, so the picture turns a quarter clockwise to stand upright.
  const uint8_t exif[] = {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0x00, 0x00, 'M', 'M', 0x00, 0x2A, 0x00, 0x00,
                          0x00, 0x08, 0x00, 0x01, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00};
  jpeg.insert(jpeg.begin() + 2, std::begin(exif), std::end(exif));
  const PictureResult decoded = DecodePicture(jpeg, "turned.jpg");
  ASSERT_TRUE(decoded.picture) << decoded.error;
  EXPECT_EQ(decoded.picture->himetricWidth(), PixelsToHimetric(20)) << "now as tall as it was wide";
  EXPECT_EQ(decoded.picture->himetricHeight(), PixelsToHimetric(40));
  const RgbaImage upright = decoded.picture->render(20, 40);
  // The left half (red) is now the top half.
  EXPECT_GT(upright.at(10, 5)[0], 180);
  EXPECT_LT(upright.at(10, 5)[2], 80);
  EXPECT_GT(upright.at(10, 35)[2], 180);
  EXPECT_LT(upright.at(10, 35)[0], 80);
  // And the size read from the header alone agrees.
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/turned.jpg";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
  int width = 0, height = 0;
  ASSERT_TRUE(ReadPictureSize(path, &width, &height));
  EXPECT_EQ(width, PixelsToHimetric(20));
  EXPECT_EQ(height, PixelsToHimetric(40));
}

TEST(Artwork, AnSvgFaceMatchesItsPngAtItsOwnSizeAndStaysSharpWhenLarge) {
  const QByteArray svg =
      "<?xml version=\"1.0\"?>\n<!-- a cover -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"50\">"
      "<rect x=\"10\" y=\"10\" width=\"40\" height=\"30\" fill=\"#d01010\"/>"
      "<circle cx=\"75\" cy=\"25\" r=\"18\" fill=\"#1010d0\"/></svg>";
  // Its PNG twin, drawn by QtSvg here in the test at the drawing's own size.
  QImage twin(100, 50, QImage::Format_ARGB32);
  twin.fill(Qt::transparent);
  {
    QPainter painter(&twin);
    QSvgRenderer(svg).render(&painter);
  }
  const PictureResult drawing = DecodePicture({svg.begin(), svg.end()}, "cover.svg");
  ASSERT_TRUE(drawing.picture) << drawing.error;
  const PictureResult png = DecodePicture(encoded(twin, "PNG"), "cover.png");
  ASSERT_TRUE(png.picture) << png.error;
  EXPECT_EQ(drawing.picture->himetricWidth(), PixelsToHimetric(100));
  EXPECT_EQ(drawing.picture->himetricHeight(), PixelsToHimetric(50));
  // Compared as premultiplied colour: a clear pixel's colour is nothing.
  auto difference = [](const RgbaImage& a, const RgbaImage& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 4) {
      for (int c = 0; c < 3; ++c) sum += std::abs(a.pixels[i + c] * a.pixels[i + 3] - b.pixels[i + c] * b.pixels[i + 3]) / 255.0;
      sum += std::abs(a.pixels[i + 3] - b.pixels[i + 3]);
    }
    return sum / static_cast<double>(a.pixels.size());
  };
  EXPECT_LT(difference(drawing.picture->render(100, 50), png.picture->render(100, 50)), 3.0) << "the same at 1x";
  // At four times the size the drawing's edges are crisp, the PNG's blurred:
  // the sum of steps between neighbours is larger.
  auto edges = [](const RgbaImage& image) {
    long long sum = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 1; x < image.width; ++x) {
        for (int c = 0; c < 3; ++c) sum += std::abs(image.at(x, y)[c] - image.at(x - 1, y)[c]) > 100;
      }
    }
    return sum;
  };
  const long long sharp = edges(drawing.picture->render(400, 200));
  const long long soft = edges(png.picture->render(400, 200));
  EXPECT_GT(sharp, soft) << sharp << " against " << soft;

  const QByteArray broken = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\"";
  const PictureResult refused = DecodePicture({broken.begin(), broken.end()}, "broken.svg");
  EXPECT_FALSE(refused.picture);
  EXPECT_NE(refused.error.find("broken.svg"), std::string::npos) << refused.error;
}

namespace {

// A PDF page of `points`, drawn on at 72 dots per inch, edge to edge.
void pointPage(QPdfWriter& writer, QSizeF points) {
  writer.setPageSize(QPageSize(points, QPageSize::Point));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setResolution(72);
}

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(Artwork, APdfPageMatchesWhatPdftoppmDrawsOfIt) {
  KESTROVA_NEEDS_TOOLS("pdftoppm");
  QTemporaryDir dir;
  const QString pdf = dir.path() + "/cover.pdf";
  {
    QPdfWriter writer(pdf);
    pointPage(writer, QSizeF(200, 100));
    QPainter painter(&writer);
    painter.fillRect(QRectF(0, 0, 200, 100), QColor(250, 245, 230));
    painter.fillRect(QRectF(20, 20, 70, 60), QColor(200, 30, 30));
    painter.setBrush(QColor(30, 30, 200));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(120, 20, 60, 60));
  }
  // Poppler's own command-line tool, at 96 dots per inch as Kestrova counts.
  const std::string command = "pdftoppm -r 96 -png -singlefile '" + pdf.toStdString() + "' '" +
                               dir.path().toStdString() + "/reference' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const QImage reference(dir.path() + "/reference.png");
  ASSERT_FALSE(reference.isNull());
  const PictureResult page = DecodePicture(fileBytes(pdf.toStdString()), "cover.pdf");
  ASSERT_TRUE(page.picture) << page.error;
  // 200 x 100 points: 2.78 x 1.39 inches.
  EXPECT_EQ(page.picture->himetricWidth(), 7056);
  EXPECT_EQ(page.picture->himetricHeight(), 3528);
  const RgbaImage ours = page.picture->render(reference.width(), reference.height());
  const RgbaImage theirs = FromQImage(reference.convertToFormat(QImage::Format_RGBA8888));
  double sum = 0;
  for (size_t i = 0; i < ours.pixels.size(); ++i) sum += std::abs(ours.pixels[i] - theirs.pixels[i]);
  EXPECT_LT(sum / static_cast<double>(ours.pixels.size()), 4.0);
  const std::vector<uint8_t> broken = {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', 'x'};
  const PictureResult refused = DecodePicture(broken, "broken.pdf");
  EXPECT_FALSE(refused.picture);
  EXPECT_NE(refused.error.find("broken.pdf"), std::string::npos) << refused.error;
}

TEST(Artwork, APdfNameCanAskForAnotherPage) {
  QTemporaryDir dir;
  const QString pdf = dir.path() + "/pages.pdf";
  {
    QPdfWriter writer(pdf);
    pointPage(writer, QSizeF(100, 100));
    QPainter painter(&writer);
    painter.fillRect(QRectF(0, 0, 100, 100), QColor(220, 30, 30));
    writer.newPage();
    painter.fillRect(QRectF(0, 0, 100, 100), QColor(30, 30, 220));
  }
  const std::string name = pdf.toStdString();
  const PictureResult first = LoadPicture(name);
  const PictureResult second = LoadPicture(name + "#page=2");
  ASSERT_TRUE(first.picture) << first.error;
  ASSERT_TRUE(second.picture) << second.error;
  EXPECT_GT(first.picture->render(8, 8).at(4, 4)[0], 180);
  EXPECT_GT(second.picture->render(8, 8).at(4, 4)[2], 180);
  const PictureResult none = LoadPicture(name + "#page=3");
  EXPECT_FALSE(none.picture);
  EXPECT_NE(none.error.find("no page 3"), std::string::npos) << none.error;
}

namespace {

// CIE Lab of an sRGB colour (D65), by the standard formulas.
// Three 20 x 40 patches side by side.
QImage threePatches(QRgb left, QRgb middle, QRgb right) {
  QImage patches(60, 40, QImage::Format_RGB32);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) patches.setPixel(x, y, x < 20 ? left : x < 40 ? middle : right);
  }
  return patches;
}

// Each patch of `ours` within delta E 3 of the same patch of `theirs`.
void expectSamePatches(const RgbaImage& ours, const QString& theirsPath) {
  const QImage theirs = QImage(theirsPath).convertToFormat(QImage::Format_RGBA8888);
  ASSERT_EQ(theirs.size(), QSize(60, 40));
  for (int x : {10, 30, 50}) {
    const auto a = test::SrgbToLab(ours.at(x, 20));
    const auto b = test::SrgbToLab(theirs.constScanLine(20) + x * 4);
    const double deltaE =
        std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
    EXPECT_LT(deltaE, 3.0) << "patch at " << x;
  }
}

}  // namespace

namespace {

// Three patches in RGB, put into press inks by jpgicc (LittleCMS's tool) as
// FOLDER/cmyk.jpg (its profile embedded when asked), and back to sRGB by
// jpgicc again as FOLDER/back.jpg: the oracle. The inks' bytes.
std::vector<uint8_t> inksByJpgicc(const std::string& folder, bool embedProfile) {
  const QImage patches = threePatches(qRgb(200, 40, 40), qRgb(40, 160, 60), qRgb(230, 200, 40));
  EXPECT_TRUE(patches.save(QString::fromStdString(folder + "/rgb.jpg"), "JPEG", 100));
  const std::string press = kestrova::kPressProfile;
  const std::string toInks = std::string("jpgicc ") + (embedProfile ? "-e " : "") + "-o " + press + " " + folder +
                             "/rgb.jpg " + folder + "/cmyk.jpg > /dev/null";
  const std::string back = "jpgicc -i " + press + " " + folder + "/cmyk.jpg " + folder + "/back.jpg > /dev/null";
  EXPECT_EQ(std::system(toInks.c_str()), 0);
  EXPECT_EQ(std::system(back.c_str()), 0);
  return fileBytes(folder + "/cmyk.jpg");
}

}  // namespace

TEST(Artwork, ACmykCoverComesOutAsLittleCmsOwnToolSeesIt) {
  KESTROVA_NEEDS_TOOLS("jpgicc");
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::vector<uint8_t> cmyk = inksByJpgicc(folder, false);
  ASSERT_TRUE(IsCmykJpeg(cmyk));
  const PictureResult ours = DecodePicture(cmyk, "cover.jpg");
  ASSERT_TRUE(ours.picture) << ours.error;
  expectSamePatches(ours.picture->render(60, 40), QString::fromStdString(folder + "/back.jpg"));
}

TEST(Artwork, APictureInAdobeRgbComesOutAsLittleCmsOwnToolSeesIt) {
  KESTROVA_NEEDS_TOOLS("jpgicc");
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const QImage patches = threePatches(qRgb(200, 40, 40), qRgb(40, 160, 60), qRgb(30, 60, 220));
  ASSERT_TRUE(patches.save(QString::fromStdString(folder + "/srgb.jpg"), "JPEG", 100));
  // jpgicc puts it into Adobe RGB with the profile embedded, and reads it
  // back to sRGB through that profile: the oracle.
  const std::string a98 = "/usr/share/color/icc/ghostscript/a98.icc";
  const std::string toA98 = "jpgicc -o " + a98 + " -e " + folder + "/srgb.jpg " + folder + "/a98.jpg > /dev/null";
  const std::string back = "jpgicc " + folder + "/a98.jpg " + folder + "/back.jpg > /dev/null";
  ASSERT_EQ(std::system(toA98.c_str()), 0);
  ASSERT_EQ(std::system(back.c_str()), 0);
  const PictureResult ours = DecodePicture(fileBytes(folder + "/a98.jpg"), "a98.jpg");
  ASSERT_TRUE(ours.picture) << ours.error;
  expectSamePatches(ours.picture->render(60, 40), QString::fromStdString(folder + "/back.jpg"));
}

TEST(Artwork, AnSvgEntityBombIsRefusedQuicklyNamingTheFile) {
  std::string svg = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY a \"" + std::string(64, 'a') + "\">\n";
  for (char level = 'b'; level <= 'h'; ++level) {
    svg += std::string("<!ENTITY ") + level + " \"";
    for (int i = 0; i < 16; ++i) svg += std::string("&") + static_cast<char>(level - 1) + ";";
    svg += "\">\n";
  }
  svg += "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\"><text>&h;</text></svg>";
  QElapsedTimer clock;
  clock.start();
  const PictureResult bomb = DecodePicture({svg.begin(), svg.end()}, "bomb.svg");
  EXPECT_FALSE(bomb.picture);
  EXPECT_EQ(bomb.error.rfind("bomb.svg", 0), 0u) << bomb.error;
  EXPECT_LT(clock.elapsed(), 20000) << "within the helper's limits";
}

namespace {

void put16(std::vector<uint8_t>& out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value >> 16);
  put16(out, value & 0xFFFF);
}

// A Photoshop file built by hand: RGB, 8 bits, no layers, its composite
// stored raw, plane after plane.
std::vector<uint8_t> photoshopFile(int version, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> out = {'8', 'B', 'P', 'S'};
  put16(out, static_cast<unsigned>(version));
  out.insert(out.end(), 6, 0);
  put16(out, 3);
  put32(out, height);
  put32(out, width);
  put16(out, 8);
  put16(out, 3);  // RGB
  put32(out, 0);  // colour mode data
  put32(out, 0);  // image resources
  if (version == 2) put32(out, 0);  // a large document's section length is 64 bits
  put32(out, 0);  // layers and masks
  put16(out, 0);  // raw
  for (int plane = 0; plane < 3; ++plane) {
    for (size_t i = static_cast<size_t>(plane); i < rgb.size(); i += 3) out.push_back(rgb[i]);
  }
  return out;
}

}  // namespace

TEST(Artwork, APhotoshopFileDecodesToItsCompositeAndAHugeOneIsRefused) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) rgb.insert(rgb.end(), {uint8_t(40 * x + 10), uint8_t(60 * y + 5), uint8_t(200 - 30 * x)});
  }
  const PictureResult psd = DecodePicture(photoshopFile(1, 6, 4, rgb), "cover.psd");
  ASSERT_TRUE(psd.picture) << psd.error;
  EXPECT_EQ(psd.picture->himetricWidth(), PixelsToHimetric(6));
  EXPECT_EQ(psd.picture->himetricHeight(), PixelsToHimetric(4));
  const RgbaImage drawn = psd.picture->render(6, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      const uint8_t* want = &rgb[static_cast<size_t>(y * 6 + x) * 3];
      EXPECT_EQ(std::vector<int>(drawn.at(x, y), drawn.at(x, y) + 3), std::vector<int>(want, want + 3)) << x << "," << y;
    }
  }
  // A few bytes claiming a 60000-pixel square (a large document) are
  // refused from the header, before any decoder allocates.
  QElapsedTimer clock;
  clock.start();
  const PictureResult huge = DecodePicture(photoshopFile(2, 60000, 60000, rgb), "poster.psb");
  EXPECT_FALSE(huge.picture);
  EXPECT_EQ(huge.error.rfind("poster.psb", 0), 0u) << huge.error;
  EXPECT_NE(huge.error.find("60000"), std::string::npos) << huge.error;
  EXPECT_LT(clock.elapsed(), 10000);
  // Cut short, as a file still being saved is: refused, not filled in.
  std::vector<uint8_t> cutShort = photoshopFile(1, 6, 4, rgb);
  cutShort.resize(cutShort.size() - 5);
  const PictureResult cut = DecodePicture(cutShort, "cut.psd");
  EXPECT_FALSE(cut.picture);
  EXPECT_EQ(cut.error.rfind("cut.psd", 0), 0u) << cut.error;
}

TEST(Artwork, APdfClaimingAHundredThousandPagesIsRefusedNamingTheFile) {
  // One real page under a page tree whose count claims 100000.
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [3 0 R] /Count 100000 >>");
  object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] >>");
  const size_t xref = pdf.size();
  pdf += "xref\n0 4\n0000000000 65535 f \n";
  for (size_t at : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", at);
    pdf += line;
  }
  pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  QElapsedTimer clock;
  clock.start();
  const PictureResult claimed = DecodePicture({pdf.begin(), pdf.end()}, "catalogue.pdf");
  EXPECT_FALSE(claimed.picture);
  EXPECT_EQ(claimed.error.rfind("catalogue.pdf", 0), 0u) << claimed.error;
  EXPECT_LT(clock.elapsed(), 20000) << "within the helper's limits";
}

namespace {

// An APP1 Exif segment: big-endian TIFF header, one IFD entry,
// Orientation (0x0112) as a SHORT.
std::vector<uint8_t> exifSegment(int orientation) {
  return {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0x00, 0x00, 'M', 'M', 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,
          0x00, 0x01, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, static_cast<uint8_t>(orientation),
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

std::vector<uint8_t> withExif(std::vector<uint8_t> jpeg, int orientation) {
  const std::vector<uint8_t> segment = exifSegment(orientation);
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Which stored corner's colour is where: red top left, green top right,
// blue bottom left, white bottom right, each a quarter of 40 x 20.
QImage quadrants() {
  QImage image(40, 20, QImage::Format_RGB32);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 40; ++x) {
      image.setPixel(x, y, y < 10 ? (x < 20 ? qRgb(230, 20, 20) : qRgb(20, 200, 20))
                                  : (x < 20 ? qRgb(20, 20, 230) : qRgb(240, 240, 240)));
    }
  }
  return image;
}

// 'r', 'g', 'b', 'w' for the colour of a shown pixel.
char hue(const uint8_t* p) {
  if (p[0] > 150 && p[1] > 150 && p[2] > 150) return 'w';
  if (p[0] > p[1] && p[0] > p[2]) return 'r';
  return p[1] > p[2] ? 'g' : 'b';
}

}  // namespace

TEST(Artwork, EveryExifOrientationStandsThePhotoUpInRgbAndCmyk) {
  KESTROVA_NEEDS_TOOLS("jpgicc");
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::vector<uint8_t> rgb = encoded(quadrants(), "JPEG", 95);
  writeBytes(folder + "/rgb.jpg", rgb);
  const std::string toInks = "jpgicc -q 95 -o " + std::string(kPressProfile) + " " + folder + "/rgb.jpg " + folder +
                             "/cmyk.jpg > /dev/null";
  ASSERT_EQ(std::system(toInks.c_str()), 0);
  const std::vector<uint8_t> cmyk = fileBytes(folder + "/cmyk.jpg");
  // EXIF's table: where the stored row 0 and column 0 are shown. The shown
  // corners read top left, top right, bottom left, bottom right.
  const struct {
    int orientation;
    const char* corners;
  } kOrientations[] = {{1, "rgbw"}, {2, "grwb"}, {3, "wbgr"}, {4, "bwrg"},
                       {5, "rbgw"}, {6, "brwg"}, {7, "wgbr"}, {8, "gwrb"}};
  for (const auto& [orientation, corners] : kOrientations) {
    const bool across = orientation >= 5;
    const int width = across ? 20 : 40;
    const int height = across ? 40 : 20;
    for (const auto& [kind, bytes] : {std::pair{"RGB", withExif(rgb, orientation)}, {"CMYK", withExif(cmyk, orientation)}}) {
      const PictureResult decoded = DecodePicture(bytes, "photo.jpg");
      ASSERT_TRUE(decoded.picture) << kind << " " << orientation << ": " << decoded.error;
      EXPECT_EQ(decoded.picture->himetricWidth(), PixelsToHimetric(width)) << kind << " " << orientation;
      EXPECT_EQ(decoded.picture->himetricHeight(), PixelsToHimetric(height)) << kind << " " << orientation;
      const RgbaImage shown = decoded.picture->render(width, height);
      const std::string seen = {hue(shown.at(2, 2)), hue(shown.at(width - 3, 2)), hue(shown.at(2, height - 3)),
                                hue(shown.at(width - 3, height - 3))};
      EXPECT_EQ(seen, corners) << kind << " orientation " << orientation;
      // The size read from the header alone agrees (what the panel shows
      // before a picture is decoded).
      const std::string path = folder + "/photo.jpg";
      writeBytes(path, bytes);
      int w = 0, h = 0;
      if (std::string(kind) == "RGB") {
        ASSERT_TRUE(ReadPictureSize(path, &w, &h));
        EXPECT_EQ(w, PixelsToHimetric(width)) << orientation;
        EXPECT_EQ(h, PixelsToHimetric(height)) << orientation;
      }
    }
  }
}

TEST(Artwork, ACmykJpegClaimingAHugePictureIsRefusedFromItsHeader) {
  KESTROVA_NEEDS_TOOLS("jpgicc");
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  writeBytes(folder + "/rgb.jpg", encoded(quadrants(), "JPEG", 90));
  const std::string toInks =
      "jpgicc -o " + std::string(kPressProfile) + " " + folder + "/rgb.jpg " + folder + "/cmyk.jpg > /dev/null";
  ASSERT_EQ(std::system(toInks.c_str()), 0);
  std::vector<uint8_t> cmyk = fileBytes(folder + "/cmyk.jpg");
  // The frame's height and width, past its marker, length and precision.
  size_t frame = 2;
  while (frame + 9 < cmyk.size() && !(cmyk[frame] == 0xFF && cmyk[frame + 1] == 0xC0)) ++frame;
  ASSERT_LT(frame + 9, cmyk.size());
  for (size_t at : {frame + 5, frame + 7}) {
    cmyk[at] = 30000 >> 8;
    cmyk[at + 1] = 30000 & 0xFF;
  }
  const PictureResult huge = DecodePicture(cmyk, "poster.jpg");
  EXPECT_FALSE(huge.picture);
  EXPECT_EQ(huge.error.rfind("poster.jpg", 0), 0u) << huge.error;
  EXPECT_NE(huge.error.find("30000 x 30000"), std::string::npos) << huge.error;
}

namespace {

// A CMYK TIFF by hand: little-endian, uncompressed, one strip.
std::vector<uint8_t> cmykTiff(int width, int height, const std::vector<uint8_t>& inks) {
  test::ByteWriter out;
  out.data = {'I', 'I', 42, 0};
  out.u32(8);
  const uint32_t entries = 10;
  const uint32_t bitsAt = 8 + 2 + entries * 12 + 4;
  const uint32_t dataAt = bitsAt + 8;
  out.u16(entries);
  auto entry = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
    out.u16(tag);
    out.u16(type);
    out.u32(count);
    out.u32(value);
  };
  entry(256, 4, 1, static_cast<uint32_t>(width));
  entry(257, 4, 1, static_cast<uint32_t>(height));
  entry(258, 3, 4, bitsAt);
  entry(259, 3, 1, 1);  // no compression
  entry(262, 3, 1, 5);  // separated: inks
  entry(273, 4, 1, dataAt);
  entry(277, 3, 1, 4);
  entry(278, 4, 1, static_cast<uint32_t>(height));
  entry(279, 4, 1, static_cast<uint32_t>(inks.size()));
  entry(284, 3, 1, 1);  // samples together
  out.u32(0);
  for (int i = 0; i < 4; ++i) out.u16(8);
  out.data.insert(out.data.end(), inks.begin(), inks.end());
  return out.data;
}

// A CMYK Photoshop file of the same inks: Photoshop keeps them inverted,
// 255 for no ink, plane after plane.
std::vector<uint8_t> cmykPhotoshop(uint32_t width, uint32_t height, const std::vector<uint8_t>& inks) {
  std::vector<uint8_t> out = {'8', 'B', 'P', 'S'};
  put16(out, 1);
  out.insert(out.end(), 6, 0);
  put16(out, 4);
  put32(out, height);
  put32(out, width);
  put16(out, 8);
  put16(out, 4);  // CMYK
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put16(out, 0);  // raw
  for (size_t plane = 0; plane < 4; ++plane) {
    for (size_t i = plane; i < inks.size(); i += 4) out.push_back(static_cast<uint8_t>(255 - inks[i]));
  }
  return out;
}

}  // namespace

TEST(Artwork, CmykTiffAndPhotoshopInksComeOutAsLittleCmsOwnToolSeesThem) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const uint8_t patches[3][4] = {{10, 220, 200, 0}, {210, 20, 230, 10}, {0, 40, 240, 0}};
  std::vector<uint8_t> inks;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) inks.insert(inks.end(), patches[x / 20], patches[x / 20] + 4);
  }
  const std::vector<uint8_t> tiff = cmykTiff(60, 40, inks);
  writeBytes(folder + "/inks.tif", tiff);
  // tificc (LittleCMS's tool) reads the inks with the press profile: the oracle.
  const std::string back =
      "tificc -i " + std::string(kPressProfile) + " " + folder + "/inks.tif " + folder + "/back.tif > /dev/null";
  ASSERT_EQ(std::system(back.c_str()), 0);
  for (const auto& [name, bytes] : {std::pair{"cover.tif", tiff}, {"cover.psd", cmykPhotoshop(60, 40, inks)}}) {
    const PictureResult ours = DecodePicture(bytes, name);
    ASSERT_TRUE(ours.picture) << name << ": " << ours.error;
    SCOPED_TRACE(name);
    expectSamePatches(ours.picture->render(60, 40), QString::fromStdString(folder + "/back.tif"));
  }
}

TEST(Artwork, ACmykCoverWithAnUnusableProfileIsReadWithThePressProfileAndSaysSo) {
  KESTROVA_NEEDS_TOOLS("jpgicc");
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  std::vector<uint8_t> cmyk = inksByJpgicc(folder, true);
  // The embedded profile's signature spoiled: LittleCMS cannot open it.
  const std::string signature = "acsp";
  auto found = std::search(cmyk.begin(), cmyk.end(), signature.begin(), signature.end());
  ASSERT_NE(found, cmyk.end()) << "jpgicc embedded its profile";
  *found = 'x';
  TakePictureNotes();
  const PictureResult ours = DecodePicture(cmyk, "spoiled.jpg");
  ASSERT_TRUE(ours.picture) << ours.error;
  expectSamePatches(ours.picture->render(60, 40), QString::fromStdString(folder + "/back.jpg"));
  const std::vector<std::string> notes = TakePictureNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("spoiled.jpg: ", 0), 0u) << notes[0];
  EXPECT_NE(notes[0].find("press profile"), std::string::npos) << notes[0];
}

TEST(Artwork, PhotoshopLengthsAndSizesPastWhatCanBeReadAreRefusedNamingTheLimit) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 6 * 4; ++i) rgb.insert(rgb.end(), {200, 100, 50});
  // A large document's 64-bit section length that wraps round to just
  // before the file's start.
  std::vector<uint8_t> wrapped = photoshopFile(2, 6, 4, rgb);
  const size_t lengthAt = 26 + 4 + 4;
  const uint64_t wrap = ~uint64_t{0} - (lengthAt + 8);
  for (int i = 0; i < 8; ++i) wrapped[lengthAt + static_cast<size_t>(i)] = static_cast<uint8_t>(wrap >> (56 - 8 * i));
  const PictureResult refused = DecodePicture(wrapped, "wrapped.psb");
  EXPECT_FALSE(refused.picture);
  EXPECT_NE(refused.error.find("cut short"), std::string::npos) << refused.error;
  // ImageMagick's own limit on a side, as this system's policy sets it
  // (Debian's: 16000): one pixel under is drawn, one over refused with it.
  std::vector<uint8_t> row;
  for (int i = 0; i < 16001; ++i) row.insert(row.end(), {30, 60, 90});
  const PictureResult widest = DecodePicture(photoshopFile(1, 16000, 1, {row.begin(), row.end() - 3}), "wide.psd");
  ASSERT_TRUE(widest.picture) << widest.error;
  EXPECT_EQ(widest.picture->himetricWidth(), PixelsToHimetric(16000));
  const PictureResult tooWide = DecodePicture(photoshopFile(1, 16001, 1, row), "wider.psd");
  EXPECT_FALSE(tooWide.picture);
  EXPECT_NE(tooWide.error.find("at most 16000 on a side"), std::string::npos) << tooWide.error;
}

// The batch's picture cache lets the least recently used picture go, not
// the oldest: a cover every row asks for again stays decoded.
TEST(PictureCache, TheLeastRecentlyUsedPictureGoesFirst) {
  QTemporaryDir dir;
  auto picture = [&](const char* name, QRgb colour) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    const std::string path = dir.path().toStdString() + "/" + name;
    image.save(QString::fromStdString(path));
    return path;
  };
  const std::string a = picture("a.png", qRgb(200, 0, 0)), b = picture("b.png", qRgb(0, 200, 0)),
                    c = picture("c.png", qRgb(0, 0, 200));
  KeepPreparedTextures(2 * 16 * 16 * 4 + 100);  // room for two
  const auto firstA = PrepareTextureShared(a, 64);
  const auto firstB = PrepareTextureShared(b, 64);
  EXPECT_EQ(PrepareTextureShared(a, 64), firstA) << "kept";
  PrepareTextureShared(c, 64);  // one must go: b, unused since a was asked for again
  EXPECT_EQ(PrepareTextureShared(a, 64), firstA) << "the recently used picture stays";
  EXPECT_NE(PrepareTextureShared(b, 64), firstB) << "the least recently used one was decoded again";
  KeepPreparedTextures(0);
}

// The studio's mipmaps: each texel of a level the mean in linear light of
// the two by two it covers, by IEC 61966-2-1's own curve (a mean taken on
// the bytes would make a fine black-and-white print grey at 128, where
// the light it gives is 188's).
TEST(SrgbMipmaps, EachTexelIsTheLinearMeanOfTheFourItCoversAndSidesHalveRoundingDown) {
  auto toLinear = [](int byte) {
    const double c = byte / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  auto toByte = [](double linear) {
    const double c = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(c * 255));
  };
  uint32_t seed = 12345;
  auto next = [&seed] { return static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 24); };
  RgbaImage level{64, 64, std::vector<uint8_t>(64 * 64 * 4)};
  for (uint8_t& v : level.pixels) v = static_cast<uint8_t>(next());
  // The checkerboard case by hand as well.
  for (int i = 0; i < 4; ++i) {
    uint8_t* p = level.pixels.data() + ((i / 2) * 64 + i % 2) * 4;
    p[0] = p[1] = p[2] = (i == 0 || i == 3) ? 255 : 0;
    p[3] = 255;
  }
  const RgbaImage half = studio::HalvedInLinearLight(level);
  ASSERT_EQ(half.width, 32);
  ASSERT_EQ(half.height, 32);
  EXPECT_EQ(half.at(0, 0)[0], 188);
  int worst = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      for (int c = 0; c < 4; ++c) {
        const int a = level.at(2 * x, 2 * y)[c], b = level.at(2 * x + 1, 2 * y)[c];
        const int d = level.at(2 * x, 2 * y + 1)[c], e = level.at(2 * x + 1, 2 * y + 1)[c];
        const int expected = c == 3 ? (a + b + d + e + 2) / 4
                                    : toByte((toLinear(a) + toLinear(b) + toLinear(d) + toLinear(e)) / 4);
        worst = std::max(worst, std::abs(half.at(x, y)[c] - expected));
      }
    }
  }
  EXPECT_LE(worst, 1) << "a texel strays from the linear mean";
  // Odd and thin sides: halved rounding down, never below one.
  for (const auto& [w, h, hw, hh] : {std::array<int, 4>{5, 3, 2, 1}, {1, 1, 1, 1}, {1, 4, 1, 2}, {7, 1, 3, 1}}) {
    const RgbaImage small = studio::HalvedInLinearLight(RgbaImage{w, h, std::vector<uint8_t>(static_cast<size_t>(w * h * 4), 200)});
    EXPECT_EQ(small.width, hw) << w << "x" << h;
    EXPECT_EQ(small.height, hh) << w << "x" << h;
    EXPECT_EQ(small.at(small.width - 1, small.height - 1)[1], 200) << w << "x" << h;
  }
}
