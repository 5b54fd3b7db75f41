// PNG written a band of rows at a time: read back by libpng's own reader,
// and every failure named and cleaned up.
#include <gtest/gtest.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/file_replace.h"
#include "formats/png_writer.h"
#include "tests/support/file_size_limit.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrova;
namespace fs = std::filesystem;

namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "/kestrova-png-" + name; }

// Top-down RGBA rows of a picture that exercises every byte: colours vary
// along both axes and the alpha runs from clear to opaque.
std::vector<uint8_t> pattern(int width, int height) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
      p[0] = static_cast<uint8_t>(x * 7 + y);
      p[1] = static_cast<uint8_t>(y * 11);
      p[2] = static_cast<uint8_t>((x * y) ^ 0x5A);
      p[3] = static_cast<uint8_t>(x * 255 / (width - 1));
    }
  }
  return rgba;
}

// Noise does not compress: `bytes` of it from a fixed seed.
std::vector<uint8_t> noise(size_t bytes, uint32_t seed) {
  std::vector<uint8_t> out(bytes);
  for (uint8_t& byte : out) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(seed >> 24);
  }
  return out;
}

// The file as RGBA through libpng's reader; empty when it is not a PNG.
std::vector<uint8_t> readBack(const std::string& path, int* width, int* height, bool* alpha) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  *alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

}  // namespace

TEST(PngWriter, BandsOfAnySizeMakeOneFileThatReadsBackExactly) {
  const int width = 37;
  const int height = 23;
  const std::vector<uint8_t> rgba = pattern(width, height);
  for (const bool alpha : {false, true}) {
    const std::string path = tempPath(alpha ? "alpha.png" : "opaque.png");
    PngWriter png;
    std::string error;
    ASSERT_TRUE(png.open(path, width, height, alpha, &error)) << error;
    // Bands of 1, 5 and the rest, as tiles of different heights arrive.
    const size_t row = static_cast<size_t>(width) * 4;
    ASSERT_TRUE(png.write(rgba.data(), 1, &error)) << error;
    ASSERT_TRUE(png.write(rgba.data() + row, 5, &error)) << error;
    ASSERT_TRUE(png.write(rgba.data() + 6 * row, height - 6, &error)) << error;
    ASSERT_TRUE(png.finish(&error)) << error;

    int w = 0, h = 0;
    bool hasAlpha = false;
    const std::vector<uint8_t> back = readBack(path, &w, &h, &hasAlpha);
    ASSERT_EQ(back.size(), rgba.size()) << path;
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(hasAlpha, alpha);
    for (size_t i = 0; i < rgba.size(); ++i) {
      // Opaque files drop the fourth byte: it reads back as 255.
      const uint8_t expected = (i % 4 == 3 && !alpha) ? 255 : rgba[i];
      ASSERT_EQ(back[i], expected) << "byte " << i << (alpha ? " with alpha" : " opaque");
    }
    fs::remove(path);
  }
}

TEST(PngWriter, FailuresAreNamedAndLeaveNoFile) {
  std::string error;
  {
    PngWriter png;
    EXPECT_FALSE(png.open("/nonexistent-folder/shot.png", 4, 4, false, &error));
    EXPECT_EQ(error, std::string("cannot write /nonexistent-folder/shot.png: ") + std::strerror(ENOENT));
  }
  const std::vector<uint8_t> rgba = pattern(8, 8);
  const std::string path = tempPath("unfinished.png");
  {
    PngWriter png;
    ASSERT_TRUE(png.open(path, 8, 8, false, &error));
    EXPECT_FALSE(png.write(rgba.data(), 9, &error)) << "more rows than the picture has";
    ASSERT_TRUE(png.write(rgba.data(), 4, &error));
    EXPECT_FALSE(png.finish(&error));
    EXPECT_NE(error.find("incomplete"), std::string::npos) << error;
  }
  EXPECT_FALSE(fs::exists(path)) << "a half-written picture is removed";
}

TEST(PngWriter, AFullDiskFailsTheWriteAndRemovesTheFile) {
  // 256 x 256 of noise is far past the 1000 bytes.
  const std::vector<uint8_t> pixels = noise(256u * 256u * 4u, 1);
  const std::string path = tempPath("full.png");
  std::string error;
  bool written = true;
  {
    test::FileSizeLimit disk(1000);
    PngWriter png;
    ASSERT_TRUE(png.open(path, 256, 256, false, &error));
    written = png.write(pixels.data(), 256, &error) && png.finish(&error);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
  EXPECT_FALSE(fs::exists(path));
}

TEST(PngWriter, ADiskThatFillsOnTheLastBufferedBytesFailsAtTheEnd) {
  // A small picture lies wholly in the stdio buffer until the end: only the
  // final flush meets a limit one byte short of its size.
  const std::vector<uint8_t> pixels = noise(24u * 24u * 4u, 7);
  const std::string path = tempPath("last-bytes.png");
  std::string error;
  auto write = [&] {
    PngWriter png;
    return png.open(path, 24, 24, false, &error) && png.write(pixels.data(), 24, &error) && png.finish(&error);
  };
  ASSERT_TRUE(write()) << error;
  const auto size = fs::file_size(path);
  ASSERT_LT(size, 4096u) << "small enough to stay buffered";
  fs::remove(path);
  bool written = true;
  {
    test::FileSizeLimit disk(size - 1);
    written = write();
  }
  EXPECT_FALSE(written) << "a short file is not a success";
  EXPECT_FALSE(fs::exists(path));
}

TEST(PendingFiles, AWriteGoesToAHiddenTemporaryAndClearsOnlyOurStaleOnes) {
  const fs::path folder = fs::path(tempPath("pending"));
  fs::create_directories(folder);
  const std::string target = (folder / "shot.png").string();
  // A process that has ended: its pid is free.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string gone = std::to_string(child);
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  const std::string here = "@" + std::string(name);
  ASSERT_EQ(here.find_first_not_of("@abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-"), std::string::npos)
      << "a host name this test can spell";
  const std::vector<std::string> stale = {".shot.png.kestrova-" + gone + here + "-a1b2c3"};
  const std::vector<std::string> kept = {".shot.png.kestrova-1" + here + "-d4e5f6",          // a live process's save
                                         ".shot.png.kestrova-" + gone + "@elsewhere-a1b2c3",  // another host's
                                         ".shot.png.kestrova-" + gone + here + "-a1b2c",      // not mkstemp's six
                                         ".shot.png.kestrova-" + gone + here + "-a1b2c3d",
                                         ".shot.png.kestrova-" + gone + here + "-a1b.c3",
                                         ".shot.png.kestrova-" + gone + "-a1b2c3",            // no host
                                         ".shot.png.kestrova-" + gone + here + "x-a1b2c3",   // another host's
                                         ".other.png.kestrova-" + gone + here + "-x1y2z3",    // another target's
                                         "shot.png.kestrova-" + gone + here + "-y2y2y2",      // not one of our names
                                         // another host whose name is as long as this one's
                                         ".shot.png.kestrova-" + gone + "@" + std::string(name).replace(0, 1, name[0] == 'q' ? "r" : "q") + "-a1b2c3",
                                         ".shot.png.kestrova-" + gone + here + "-u5v6w7"};    // another user's (below)
  for (const auto& name : stale) std::ofstream(folder / name) << "left over";
  for (const auto& name : kept) std::ofstream(folder / name) << "not ours to remove";
  // Left by another user: ours by name, not by owner.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((folder / kept.back()).c_str(), 12345, 12345), 0);
  } else {
    fs::remove(folder / kept.back());
    std::ofstream(folder / kept.back()) << "not ours to remove";  // the user's own then: the check is skipped below
  }

  const std::vector<uint8_t> rgba = pattern(8, 8);
  std::string error;
  PngWriter png;
  ASSERT_TRUE(png.open(target, 8, 8, false, &error)) << error;
  int ours = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ours += entry.path().filename().string().rfind(".shot.png.kestrova-" + std::to_string(::getpid()) + here + "-", 0) == 0;
  }
  EXPECT_EQ(ours, 1) << "written under a hidden name of ours";
  EXPECT_FALSE(fs::exists(target)) << "the name is taken only when whole";
  ASSERT_TRUE(png.write(rgba.data(), 8, &error) && png.finish(&error)) << error;
  EXPECT_TRUE(fs::exists(target));
  for (const auto& name : stale) EXPECT_FALSE(fs::exists(folder / name)) << name;
  for (const auto& name : kept) {
    if (::geteuid() != 0 && name == kept.back()) continue;
    EXPECT_TRUE(fs::exists(folder / name)) << name;
  }
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder)) entries += entry.is_regular_file();
  EXPECT_EQ(entries, kept.size() + (::geteuid() == 0 ? 1 : 0)) << "no temporary of this write is left";
  fs::remove_all(folder);
}

TEST(PendingFiles, NewFilesTakeTheUmasksModeAndReplacedOnesKeepTheirs) {
  const fs::path folder = fs::path(tempPath("modes"));
  fs::create_directories(folder);
  const std::vector<uint8_t> rgba = pattern(4, 4);
  // What the shell's ">" gives a new file under each umask: 0666 less it.
  for (const mode_t mask : {0022, 0077, 0002, 0027}) {
    const mode_t before = ::umask(mask);
    for (const char* writer : {"bytes", "png"}) {
      SCOPED_TRACE(std::string(writer) + " under umask " + std::to_string(mask));
      const std::string path = (folder / (std::string("new.") + writer)).string();
      fs::remove(path);
      std::string error;
      if (std::string(writer) == "bytes") {
        ASSERT_TRUE(ReplaceFile(path, {1, 2, 3}, &error)) << error;
      } else {
        PngWriter png;
        ASSERT_TRUE(png.open(path, 4, 4, false, &error) && png.write(rgba.data(), 4, &error) && png.finish(&error))
            << error;
      }
      struct stat info {};
      ASSERT_EQ(::stat(path.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask);
      // A file already there keeps its own mode.
      ::chmod(path.c_str(), 0640);
      ASSERT_TRUE(ReplaceFile(path, {4, 5}, &error)) << error;
      ASSERT_EQ(::stat(path.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, 0640u);
    }
    ::umask(before);
  }
  fs::remove_all(folder);
}

TEST(PendingFiles, ALinkIsWrittenThroughAReadOnlyFileIsRefusedAndAFailedRenameFails) {
  const fs::path folder = fs::path(tempPath("through"));
  fs::remove_all(folder);
  fs::create_directories(folder / "real");
  const std::string real = (folder / "real" / "shot.bin").string();
  std::ofstream(real) << "old";
  const std::string link = (folder / "shot.bin").string();
  fs::create_symlink("real/shot.bin", link);
  std::string error;
  ASSERT_TRUE(ReplaceFile(link, {'n', 'e', 'w'}, &error)) << error;
  EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
  std::ifstream in(real);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "new") << "the file it points to was replaced";

  // Without write permission: refused, as the shell refuses it, and kept.
  // Root may write anything, so the check runs as an ordinary user.
  const fs::path open = folder / "open";
  fs::create_directories(open);
  ::chmod(open.c_str(), 0777);
  const std::string locked = (open / "locked.bin").string();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
    { std::ofstream(locked) << "kept"; }
    if (::chmod(locked.c_str(), 0444) != 0) ::_exit(11);
    std::string why;
    if (ReplaceFile(locked, {'x'}, &why)) ::_exit(12);
    if (why.find("Permission denied") == std::string::npos) ::_exit(13);
    std::ifstream kept(locked);
    std::string inside;
    kept >> inside;
    ::_exit(inside == "kept" ? 0 : 14);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "12: a read-only file was replaced; 13: without saying why; 14: changed";

  // A rename that fails (the name is a folder's) is a failure, and leaves
  // no temporary behind.
  fs::create_directories(folder / "taken" / "inside");
  error.clear();
  EXPECT_FALSE(ReplaceFile((folder / "taken").string(), {'x'}, &error));
  EXPECT_FALSE(error.empty());
  size_t hidden = 0;
  for (const auto& entry : fs::directory_iterator(folder)) hidden += entry.path().filename().string()[0] == '.';
  EXPECT_EQ(hidden, 0u);
  fs::remove_all(folder);
}
