// A render never writes over what it reads, nor two of its outputs into one
// file: each pair of roles (a face, a one-piece cover, an environment
// picture against the picture, a template, a description) named as one
// file is refused before anything is written, and the file is kept.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/project_file.h"
#include "tests/cli/cli_run.h"
#include "tests/support/radiance_writer.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(InputsAndOutputs, EveryPairOfRolesInOneFileIsRefusedAndTheFileKept) {
  struct Case {
    const char* roles;
    const char* file;  // made before the run, then compared after it
    const char* arguments;  // FILE stands for it, OUT for a harmless picture
    const char* says;
  };
  const Case cases[] = {
      {"a face and the picture", "face.png", "--face front=FILE -o FILE", "is an input"},
      {"a face and the template", "face.svg", "--face front=FILE --template FILE -o OUT", "is an input"},
      {"the cover and the picture", "cover.png", "--wrap FILE -o FILE", "is an input"},
      {"the environment and the description", "sky.hdr",
       "--look studio --environment FILE --describe FILE -o OUT", "is an input"},
      {"a face and a frame's name", "f_0001.png",
       "SAMPLE --face front=FILE --frames 0-2 -o DIR/f_%04d.png", "is an input"},
      {"the template and the description", "both.svg", "--look studio --template FILE --describe FILE -o OUT",
       "one file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.roles);
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString(), file = folder / c.file;
    const std::string name = file.filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) {
      // The default box's one-piece cover is 540 x 390 at this width.
      QImage picture(540, 390, QImage::Format_RGB32);
      picture.fill(QColor(40, 90, 160));
      ASSERT_TRUE(picture.save(QString::fromStdString(file.string())));
    } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".hdr") == 0) {
      const std::vector<uint8_t> sky =
          kestrova::test::RadianceBytes(16, 8, [](int, int y) { return std::array<float, 3>{1.0f, 1.0f, y < 4 ? 2.0f : 0.5f}; });
      std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(sky.data()), static_cast<std::streamsize>(sky.size()));
    } else {
      std::ofstream(file) << "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='140'>"
                             "<rect width='100' height='140' fill='#2a6'/></svg>\n";
    }
    const std::vector<char> before = bytesOf(file);
    std::string arguments = c.arguments;
    for (size_t at; (at = arguments.find("FILE")) != std::string::npos;) arguments.replace(at, 4, file.string());
    for (size_t at; (at = arguments.find("OUT")) != std::string::npos;) arguments.replace(at, 3, (folder / "out.png").string());
    for (size_t at; (at = arguments.find("DIR")) != std::string::npos;) arguments.replace(at, 3, folder.string());
    const std::string sample = std::string("'") + KESTROVA_PROGRAM_DIR + "/Sequences/01 Retail Box.TSMR'";
    for (size_t at; (at = arguments.find("SAMPLE")) != std::string::npos;) arguments.replace(at, 6, sample);
    const CliRun result = run(arguments + " --size 64x48");
    EXPECT_NE(result.status, 0) << result.output;
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_EQ(bytesOf(file), before) << "the file is kept";
    EXPECT_FALSE(fs::exists(folder / "out.png") || fs::exists(folder / "f_0000.png")) << "nothing is written";
  }
}

// A sheet's rows write only inside its folder, links followed as a write
// would follow them (one pointing at nothing yet too), and two rows never
// write one file, by whatever names.
TEST(InputsAndOutputs, ABatchRowWritesNeitherOutsideItsFolderNorIntoAnotherRowsFile) {
  struct Case {
    const char* sheet;
    const char* says;
  };
  const Case cases[] = {
      {"output,size\naway.png,32x24\n", "outside the spreadsheet's folder"},
      {"output,size\ndoor/new.png,32x24\n", "outside the spreadsheet's folder"},
      {"output,size\n../sheet-other/new.png,32x24\n", "outside the spreadsheet's folder"},
      {"output,size,html\nok.png,32x24,away.html\n", "outside the spreadsheet's folder"},
      {"output,size,html\nok.png,32x24,../sheet-other/p.html\n", "outside the spreadsheet's folder"},
      {"output,size,html\nok.png,32x24,page.html\nlater.png,32x24,\npage.html,32x24,\n", "both write"},
      {"output,size\nnear.png,32x24\nlater.png,32x24\n", "both write"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sheet);
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString(), sheet = root / "sheet";
    fs::create_directories(sheet);
    fs::create_directories(root / "sheet-other");
    fs::create_directories(root / "outside");
    fs::create_symlink(root / "outside" / "evil.png", sheet / "away.png");
    fs::create_symlink(root / "outside" / "evil.html", sheet / "away.html");
    fs::create_symlink("../outside", sheet / "door");
    fs::create_symlink("later.png", sheet / "near.png");
    std::ofstream(sheet / "rows.csv") << c.sheet;
    const CliRun result = run("--batch " + (sheet / "rows.csv").string());
    EXPECT_NE(result.status, 0) << result.output;
    EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    EXPECT_TRUE(fs::is_empty(root / "outside")) << "nothing written outside";
    EXPECT_TRUE(fs::is_empty(root / "sheet-other"));
    EXPECT_FALSE(fs::exists(sheet / "later.png")) << "nothing drawn";
  }
}

// A row that would write over a picture another row's project shows is
// refused before anything is drawn, and the picture kept.
TEST(InputsAndOutputs, ABatchRowWritesNoFaceOfAnotherRowsProject) {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  kestrova::SceneState shot;
  shot.productKind = kestrova::kProductBox;
  shot.textureName[kestrova::kNameBoxFront] = "face.png";
  const std::vector<uint8_t> project = kestrova::SerialiseProject(shot);
  std::ofstream(folder / "shot.TSMR", std::ios::binary)
      .write(reinterpret_cast<const char*>(project.data()), static_cast<std::streamsize>(project.size()));
  QImage face(32, 32, QImage::Format_RGB32);
  face.fill(QColor(200, 30, 30));
  ASSERT_TRUE(face.save(QString::fromStdString((folder / "face.png").string())));
  const std::vector<char> before = bytesOf(folder / "face.png");
  std::ofstream(folder / "rows.csv") << "project,output,size\nshot.TSMR,shot.png,32x24\n,face.png,32x24\n";
  const CliRun result = run("--batch " + (folder / "rows.csv").string());
  EXPECT_NE(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("which row 2 writes"), std::string::npos) << result.output;
  EXPECT_EQ(bytesOf(folder / "face.png"), before);
  EXPECT_FALSE(fs::exists(folder / "shot.png"));
}

// A page names its Quick Look model from the page's own folder, wherever the
// render was started: page in sub/, model in other/, run from the folder
// above them and from a third folder.
TEST(InputsAndOutputs, APageNamesItsQuickLookModelFromItsOwnFolder) {
  QTemporaryDir dir;
  const fs::path root = dir.path().toStdString();
  fs::create_directories(root / "sub");
  fs::create_directories(root / "other");
  fs::create_directories(root / "elsewhere");
  for (const char* start : {".", "elsewhere"}) {
    SCOPED_TRACE(start);
    const std::string up = std::string(start) == "." ? "" : "../";
    const CliRun made = runProgram("cd '" + (root / start).string() + "' && " + KESTROVA_RENDER,
                                   "--html " + up + "sub/page.html --usdz " + up + "other/m.usdz --size 32x24");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::vector<char> page = bytesOf(root / "sub" / "page.html");
    EXPECT_NE(std::string(page.begin(), page.end()).find("ios-src=\"../other/m.usdz\""), std::string::npos);
  }
}

// A page's viewer stands the product on the shadow its poster has: a
// classic shot without a floor is posed on its shadow (the default 60 %),
// a studio shot shows the floor it asks for.
TEST(InputsAndOutputs, APagesViewerCastsTheShadowItsPosterHas) {
  struct Case {
    const char* shot;
    double intensity;
  };
  const Case cases[] = {{"", 0.6}, {"--look studio --floor none", 0.0}, {"--look studio --floor shadow --shadow 30", 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shot);
    QTemporaryDir dir;
    const fs::path page = fs::path(dir.path().toStdString()) / "page.html";
    const CliRun made = run(std::string(c.shot) + " --html " + page.string() + " --size 32x24");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::vector<char> bytes = bytesOf(page);
    const std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find("shadow-intensity=\"");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::stod(text.substr(at + 18)), c.intensity, 1e-6);
  }
}
