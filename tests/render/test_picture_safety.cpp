// What a hostile picture cannot do: read other files through the drawing
// helper, hold a load up when the helper is missing, or have a drawing
// drawn twice.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pictures/helper_confinement.h"
#include "pictures/metafile_helper.h"
#include "pictures/picture.h"
#include "render/texture_loader.h"

using namespace kestrova;

namespace {

std::string writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << bytes;
  ::chmod(path.c_str(), mode);
  return path;
}

std::string pngOf(QRgb colour) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

std::string svgShowing(const std::string& reference) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"8\" "
         "height=\"8\"><rect width=\"8\" height=\"8\" fill=\"#ffffff\"/><image width=\"8\" height=\"8\" "
         "xlink:href=\"" + reference + "\"/></svg>";
}

PictureResult decode(const std::string& text, const std::string& name) {
  return DecodePicture(std::vector<uint8_t>(text.begin(), text.end()), name);
}

bool landlockOffered() {
  return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 1;
}

// KESTROVA_METAFILE_HELPER for one test.
// What the program had before is put back after, so tests run in one
// process do not change each other's helper.
struct HelperOverride {
  explicit HelperOverride(const std::string& path) {
    if (const char* before = std::getenv("KESTROVA_METAFILE_HELPER")) previous = before, had = true;
    ::setenv("KESTROVA_METAFILE_HELPER", path.c_str(), 1);
  }
  ~HelperOverride() {
    if (had) ::setenv("KESTROVA_METAFILE_HELPER", previous.c_str(), 1);
    else ::unsetenv("KESTROVA_METAFILE_HELPER");
  }
  std::string previous;
  bool had = false;
};

}  // namespace

TEST(PictureSafety, AnSvgDrawsNoPictureFromOutsideItselfOnlyItsOwn) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string secret = writeFile(folder + "/private.png", pngOf(qRgb(0, 255, 0)));
  const std::string pipe = folder + "/pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  // Every way of naming a file: the picture is refused, with the reference
  // named, and nothing of the private picture is drawn.
  for (const std::string& reference : {secret, "file://" + secret, std::string("private.png"), pipe,
                                       std::string("/proc/self/fd/1"), std::string("/dev/zero"),
                                       std::string("http://127.0.0.1:9/x.png")}) {
    const PictureResult refused = decode(svgShowing(reference), "client.svg");
    EXPECT_FALSE(refused.picture) << reference;
    EXPECT_EQ(refused.error.rfind("client.svg", 0), 0u) << refused.error;
    EXPECT_NE(refused.error.find(reference.substr(0, 40)), std::string::npos) << refused.error;
  }
  // The same picture held inside the drawing is drawn.
  const std::string inside = "data:image/png;base64," + QByteArray::fromStdString(pngOf(qRgb(0, 255, 0))).toBase64().toStdString();
  const PictureResult drawn = decode(svgShowing(inside), "client.svg");
  ASSERT_TRUE(drawn.picture) << drawn.error;
  const RgbaImage pixels = drawn.picture->render(8, 8);
  EXPECT_EQ(pixels.at(4, 4)[0], 0);
  EXPECT_EQ(pixels.at(4, 4)[1], 255);
}

// Our own check refuses these before the renderer sees them; the
// confinement is the second wall, not the only one.
TEST(PictureSafety, ReferencesHiddenFromANamespaceAwareReaderAreRefusedToo) {
  const std::string svgInside = "data:image/svg+xml;base64," +
                                QByteArray::fromStdString(svgShowing("/etc/passwd")).toBase64().toStdString();
  const std::string kCases[] = {
      // The prefix never declared: a namespace-aware reader stops at it.
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\"><image width=\"8\" height=\"8\" "
      "xlink:href=\"/etc/passwd\"/></svg>",
      // A drawing inside the drawing, naming a file in turn.
      svgShowing(svgInside),
      // A style sheet the renderer would read.
      "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/css\" href=\"/etc/passwd\"?>"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\"><rect width=\"8\" height=\"8\"/></svg>",
  };
  for (const std::string& svg : kCases) {
    const PictureResult refused = decode(svg, "client.svg");
    EXPECT_FALSE(refused.picture) << svg;
    EXPECT_EQ(refused.error.rfind("client.svg", 0), 0u) << refused.error;
  }
}

TEST(PictureSafety, TheConfinedHelperCanReadItsLibrariesAndNothingOfTheUsers) {
  if (!landlockOffered()) GTEST_SKIP() << "this kernel offers no Landlock";
  QTemporaryDir dir;
  const std::string secret = writeFile(dir.path().toStdString() + "/private.png", pngOf(qRgb(0, 255, 0)));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const Confinement confinement = ConfineToLibraries("");
    if (!confinement.confined) ::_exit(10);
    const int theirs = ::open(secret.c_str(), O_RDONLY);
    if (theirs >= 0 || errno != EACCES) ::_exit(11);
    if (::open("/proc/self/environ", O_RDONLY) >= 0) ::_exit(12);
    if (::open("/etc/passwd", O_RDONLY) >= 0) ::_exit(13);
    if (::open(secret.c_str(), O_WRONLY | O_TRUNC) >= 0) ::_exit(14);
    if (::open("/etc/ld.so.cache", O_RDONLY) < 0) ::_exit(15);
    if (::open("/etc/fonts/fonts.conf", O_RDONLY) < 0 && errno == EACCES) ::_exit(16);
    // Nothing of the user's may be made, removed, renamed or linked either,
    // each refused by the confinement itself (EACCES), not by chance.
    const std::string folder = dir.path().toStdString();
    const std::string made = folder + "/made.png";
    if (::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0 || errno != EACCES) ::_exit(17);
    if (::mkdir((folder + "/sub").c_str(), 0700) == 0 || errno != EACCES) ::_exit(18);
    if (::unlink(secret.c_str()) == 0 || errno != EACCES) ::_exit(19);
    if (::rename(secret.c_str(), made.c_str()) == 0 || errno != EACCES) ::_exit(20);
    if (::link(secret.c_str(), made.c_str()) == 0 || errno != EACCES) ::_exit(21);
    if (::symlink(secret.c_str(), made.c_str()) == 0 || errno != EACCES) ::_exit(22);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "10 not confined, 11-14 read or wrote what it must not, 15-16 lost its libraries, 17-22 made, removed, "
         "renamed or linked a file";
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(secret)));

  // The helper says at its start which confinement it got.
  const std::string svg = writeFile(dir.path().toStdString() + "/plain.svg",
                                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"/>");
  const std::string command = std::string(KESTROVA_TEST_HELPER) + " < " + svg + " 2>&1 >/dev/null";
  FILE* said = ::popen(command.c_str(), "r");
  ASSERT_NE(said, nullptr);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, said), nullptr);
  ::pclose(said);
  EXPECT_EQ(std::string(line).rfind("kestrova-metafile: confined by Landlock (version ", 0), 0u) << line;
}

TEST(PictureSafety, AHelperThatCannotStartIsNamedAtOnce) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"/>";
  // Missing; not executable; executable but no program at all (the exec
  // itself fails, which only Qt's own pipe can tell).
  const std::string notExecutable = writeFile(folder + "/not-executable", "#!/bin/sh\n", 0644);
  const std::string notAProgram = writeFile(folder + "/not-a-program", std::string("\x7f" "ELF garbage", 12), 0755);
  for (const std::string& program : {folder + "/missing", notExecutable, notAProgram}) {
    const HelperOverride use(program);
    QElapsedTimer clock;
    clock.start();
    const PictureResult failed = decode(svg, "cover.svg");
    EXPECT_FALSE(failed.picture);
    EXPECT_NE(failed.error.find(program), std::string::npos) << failed.error;
    EXPECT_LT(clock.elapsed(), 4000) << "said before the start's own time limit";
  }
}

TEST(PictureSafety, ADrawingIsDrawnOnceForItsFace) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string log = folder + "/runs";
  const std::string counting = writeFile(folder + "/counting-helper",
                                         "#!/bin/sh\necho run >> '" + log + "'\nexec '" KESTROVA_TEST_HELPER "' \"$@\"\n",
                                         0755);
  const std::string svg = writeFile(folder + "/cover.svg",
                                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"150\">"
                                    "<rect width=\"300\" height=\"150\" fill=\"#c01010\"/></svg>");
  {
    const HelperOverride use(counting);
    const PreparedTexture prepared = PrepareTexture(svg, 1024, 512);
    ASSERT_TRUE(prepared.error.empty()) << prepared.error;
    EXPECT_EQ(prepared.width, 512);
    EXPECT_EQ(prepared.height, 256);
    EXPECT_EQ(prepared.pixels[0], 0xc0);
  }
  std::ifstream runs(log);
  int count = 0;
  for (std::string line; std::getline(runs, line);) ++count;
  EXPECT_EQ(count, 1) << "the helper ran for each drawing of the one face";
}

TEST(PictureSafety, TheHelperDrawsAtTheWidthAndHeightAskedInThatOrder) {
  const std::string svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"40\"><rect width=\"20\" height=\"40\" "
      "fill=\"#ff0000\"/><rect x=\"20\" width=\"20\" height=\"40\" fill=\"#0000ff\"/></svg>";
  for (const auto& [width, height] : {std::pair{64, 16}, {16, 64}, {300, 7}}) {
    const MetafileRaster drawn = DrawMetafileApart({svg.begin(), svg.end()}, 0, width, height);
    ASSERT_TRUE(drawn.error.empty()) << width << "x" << height << ": " << drawn.error;
    EXPECT_EQ(drawn.pixels.width, width);
    EXPECT_EQ(drawn.pixels.height, height);
    // Stretched, not turned: red on the left, blue on the right.
    EXPECT_GT(drawn.pixels.at(1, height / 2)[0], 200);
    EXPECT_GT(drawn.pixels.at(width - 2, height / 2)[2], 200);
  }
}
