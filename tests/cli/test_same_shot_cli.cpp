// The same shot through every way kestrova-render makes a picture: a still,
// a batch row, a turntable video's frame and a product page's poster and
// turning pictures, each drawn small, past the studio's 2048-pixel parts
// and supersampled, is the small picture enlarged.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "tests/cli/cli_run.h"
#include "tests/support/image_compare.h"
#include "tests/support/same_shot.h"
#include "tests/support/video_reader.h"

namespace fs = std::filesystem;
using kestrova::RgbaImage;

namespace {

constexpr const char* kShot = " --look studio --floor shadow";

RgbaImage fromQImage(const QImage& image) {
  RgbaImage out;
  if (image.isNull()) return out;
  const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  out.width = rgba.width();
  out.height = rgba.height();
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
  for (int y = 0; y < out.height; ++y) {
    std::copy_n(rgba.constScanLine(y), out.width * 4, out.pixels.data() + static_cast<size_t>(y) * out.width * 4);
  }
  return out;
}

// The first picture of a kind embedded in a page.
RgbaImage embedded(const fs::path& page, const std::string& kind) {
  std::ifstream in(page);
  std::stringstream text;
  text << in.rdbuf();
  const std::string html = text.str(), lead = "data:image/" + kind + ";base64,";
  const size_t at = html.find(lead);
  if (at == std::string::npos) return {};
  const size_t start = at + lead.size(), end = html.find('"', start);
  const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(html.substr(start, end - start)));
  return fromQImage(QImage::fromData(bytes));
}

struct Path {
  const char* name;
  bool supersamples;
  // Draws the shot at `size` with `extra` options in `folder`; empty, with
  // the program's words in `said`, when it could not.
  std::function<RgbaImage(const fs::path& folder, const std::string& size, const std::string& extra, std::string* said)> draw;
};

RgbaImage ran(const CliRun& result, std::string* said, const std::function<RgbaImage()>& read) {
  *said = result.output;
  return result.status == 0 ? read() : RgbaImage{};
}

}  // namespace

TEST(SameShotCli, EveryPathDrawsTheSmallPictureEnlarged) {
  const Path paths[] = {
      {"a still", true,
       [](const fs::path& folder, const std::string& size, const std::string& extra, std::string* said) {
         const fs::path out = folder / "still.png";
         return ran(run("-o " + out.string() + " --size " + size + kShot + extra), said,
                    [&] { return kestrova::test::LoadPng(out.string()); });
       }},
      {"a batch row", true,
       [](const fs::path& folder, const std::string& size, const std::string& extra, std::string* said) {
         std::ofstream(folder / "sheet.csv") << "output,size,look,floor,supersample\nrow.png," << size << ",studio,shadow,"
                                             << (extra.empty() ? "1" : extra.substr(extra.rfind(' ') + 1)) << "\n";
         return ran(run("--batch " + (folder / "sheet.csv").string()), said,
                    [&] { return kestrova::test::LoadPng((folder / "row.png").string()); });
       }},
      {"a turntable video's first frame", true,
       [](const fs::path& folder, const std::string& size, const std::string& extra, std::string* said) {
         const fs::path out = folder / "turn.mp4";
         return ran(run("--turntable 1 --fps 2 --video " + out.string() + " --size " + size + kShot + extra), said, [&] {
           RgbaImage frame;
           kestrova::test::ReadVideo(out.string(), 0, &frame);
           return frame;
         });
       }},
      {"a product page's poster", false,
       [](const fs::path& folder, const std::string& size, const std::string& extra, std::string* said) {
         const fs::path page = folder / "page.html";
         return ran(run("--html " + page.string() + " --size " + size + kShot + extra), said,
                    [&] { return embedded(page, "png"); });
       }},
      {"a product page's first turning picture", false,
       [](const fs::path& folder, const std::string& size, const std::string& extra, std::string* said) {
         const fs::path page = folder / "turning.html";
         return ran(run("--html " + page.string() + " --turn-pictures 4 --size " + size + kShot + extra), said,
                    [&] { return embedded(page, "jpeg"); });
       }},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    std::string said;
    const RgbaImage small = path.draw(folder, "200x150", "", &said);
    ASSERT_FALSE(small.pixels.empty()) << said;
    // Past the studio's multisampled parts (2048) across and down.
    const RgbaImage large = path.draw(folder, "2050x2050", "", &said);
    ASSERT_FALSE(large.pixels.empty()) << said;
    const RgbaImage square = path.draw(folder, "150x150", "", &said);
    EXPECT_TRUE(kestrova::test::IsTheSmallShotEnlarged(square, large)) << "2050 x 2050";
    if (!path.supersamples) continue;
    const RgbaImage supersampled = path.draw(folder, "200x150", " --supersample 3", &said);
    ASSERT_FALSE(supersampled.pixels.empty()) << said;
    EXPECT_TRUE(kestrova::test::IsTheSmallShotEnlarged(small, supersampled)) << "supersampled 3";
  }
}
