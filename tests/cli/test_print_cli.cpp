// Print templates and one-piece covers from the command line, read by qpdf, Poppler, Ghostscript
// and Chromium.
#include "tests/cli/cli_helpers.h"

// Every product's template passes qpdf's check; its TrimBox is the real
// layout's size in points (a DVD's wrap Amaray's 273 x 183 mm, a CD's
// 120 mm booklet, 10 mm apart, beside its 151 x 118 mm back card, a
// cassette's J-card of 15.9 + 12.7 + 63.5 x 101.6 mm), its BleedBox 3 mm
// larger all round, or the --bleed asked.
TEST(PrintTemplates, EachPassesQpdfWithItsTrimAtRealSizeAndItsBleedAround) {
  KESTROVA_NEEDS_TOOLS("qpdf", "pdfinfo");
  QTemporaryDir dir;
  const struct {
    const char* name;
    std::string arguments;
    double width, height;  // mm; 0 where the shot's own drawing decides
    double bleed;
  } kTemplates[] = {
      {"dvd", "--style 2", 273, 183, 3},
      {"slim-dvd", "--style 3", 2 * 129.5 + 7, 183, 3},
      {"cd", "--style 4", 120 + 10 + 151, 120, 3},
      {"tape", "--style 6 --bleed 5", 15.9 + 12.7 + 63.5, 101.6, 5},
      {"box", "--style 0", 0, 0, 3},
      {"cube", "--style 7 --bleed 0", 0, 0, 0},
      {"hardback", "--product book --style 0", 0, 0, 3},
      {"mug", "--product mug --blank-template", 0, 0, 3},
  };
  for (const auto& t : kTemplates) {
    SCOPED_TRACE(t.name);
    const std::string pdf = dir.filePath(QString(t.name) + ".pdf").toStdString();
    const CliRun made = run(t.arguments + " --template " + pdf);
    ASSERT_EQ(made.status, 0) << made.output;
    const CliRun checked = runProgram("qpdf", "--check " + pdf);
    EXPECT_EQ(checked.status, 0) << checked.output;
    const CliRun info = runProgram("pdfinfo", "-box " + pdf);
    ASSERT_EQ(info.status, 0) << info.output;
    const auto trim = pdfBox(info.output, "TrimBox"), bleed = pdfBox(info.output, "BleedBox");
    if (t.width > 0) {
      EXPECT_NEAR(trim[2] - trim[0], t.width * kPointsPerMm, 0.05);
      EXPECT_NEAR(trim[3] - trim[1], t.height * kPointsPerMm, 0.05);
    }
    for (int i = 0; i < 2; ++i) {
      EXPECT_NEAR(trim[static_cast<size_t>(i)] - bleed[static_cast<size_t>(i)], t.bleed * kPointsPerMm, 0.05);
      EXPECT_NEAR(bleed[static_cast<size_t>(i + 2)] - trim[static_cast<size_t>(i + 2)], t.bleed * kPointsPerMm, 0.05);
    }
  }
  for (const char* wrong : {"--template x.png", "--bleed 3", "--template x.pdf --bleed 40", "--template x.pdf --safe -1"}) {
    EXPECT_EQ(run(std::string(wrong) + " -o " + dir.filePath("x.png").toStdString()).status, 2) << wrong;
  }
  const CliRun board = run("--product screenshot --template " + dir.filePath("b.pdf").toStdString());
  EXPECT_NE(board.status, 0);
  EXPECT_NE(board.output.find("screen shot has no print template"), std::string::npos) << board.output;
}

// Ghostscript's separations find the two dies' inks as plates of their own,
// with lines on them and nothing of the art: the plates of a template with
// the shot's artwork are those of the blank one.
TEST(PrintTemplates, TheCutAndCreaseAreSpotPlatesThatTheArtNeverReaches) {
  KESTROVA_NEEDS_TOOLS("gs");
  QTemporaryDir dir;
  auto plates = [&dir](const std::string& name, const std::string& more) {
    const std::string pdf = dir.filePath(QString::fromStdString(name) + ".pdf").toStdString();
    EXPECT_EQ(run("--style 0 --template " + pdf + more).status, 0);
    const std::string base = dir.filePath(QString::fromStdString(name)).toStdString();
    const CliRun gs = runProgram("gs", "-q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffsep -r30 -o " + base + ".tif " + pdf);
    EXPECT_EQ(gs.status, 0) << gs.output;
    std::map<std::string, QImage> found;
    for (const char* ink : {"CutContour", "Crease", "Cyan"}) {
      found[ink] = QImage(QString::fromStdString(base + "(" + ink + ").tif")).convertToFormat(QImage::Format_Grayscale8);
    }
    return found;
  };
  auto inked = [](const QImage& plate) {
    int count = 0;
    for (int y = 0; y < plate.height(); ++y) {
      for (int x = 0; x < plate.width(); ++x) count += qGray(plate.pixel(x, y)) < 128;
    }
    return count;
  };
  auto art = plates("art", "");
  auto blank = plates("blank", " --blank-template");
  for (const char* ink : {"CutContour", "Crease"}) {
    SCOPED_TRACE(ink);
    ASSERT_FALSE(art[ink].isNull()) << "no plate for it";
    const int lines = inked(art[ink]);
    EXPECT_GT(lines, 200) << "nothing on its plate";
    EXPECT_LT(lines, art[ink].width() * art[ink].height() / 20) << "more than lines on its plate";
    EXPECT_EQ(art[ink], blank[ink]) << "the art reaches its plate";
  }
  EXPECT_GT(inked(art["Cyan"]), inked(blank["Cyan"]) + 1000) << "the art is not printed";
}

// A book's template grows by its spine as printers work it out: 160 more
// pages of 74 g/m2 paper (50 lb offset, 0.097 mm a leaf in Straub's table)
// add 80 leaves, 7.76 mm.
TEST(PrintTemplates, ABooksWrapGrowsByItsSpine) {
  KESTROVA_NEEDS_TOOLS("pdfinfo");
  QTemporaryDir dir;
  auto width = [&dir](int pages) {
    const std::string pdf = dir.filePath(QString::number(pages) + ".pdf").toStdString();
    EXPECT_EQ(run("--product book --style 1 --pages " + std::to_string(pages) + " --paper " + std::to_string(50 * 1.4801) +
                  " --template " + pdf)
                  .status,
              0);
    const auto trim = pdfBox(runProgram("pdfinfo", "-box " + pdf).output, "TrimBox");
    return (trim[2] - trim[0]) / kPointsPerMm;
  };
  EXPECT_NEAR(width(320) - width(160), 80 * 0.097, 0.01);
}

// Read as qpdf writes it out plain: the cut and the folds are stroked under
// a graphics state that overprints (/OP true, from the PDF reference), so
// they never knock the art out; the labels layer's print state is off.
TEST(PrintTemplates, TheDiesOverprintAndTheLabelsDoNotPrint) {
  KESTROVA_NEEDS_TOOLS("qpdf");
  QTemporaryDir dir;
  const std::string pdf = dir.filePath("t.pdf").toStdString(), plain = dir.filePath("plain.pdf").toStdString();
  ASSERT_EQ(run("--template " + pdf).status, 0);
  ASSERT_EQ(runProgram("qpdf", "--qdf --object-streams=disable " + pdf + " " + plain).status, 0);
  std::ifstream in(plain, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An object's dictionary by its number, as qpdf lays it out.
  auto object = [&text](const std::string& number) {
    const size_t at = text.find("\n" + number + " 0 obj");
    return at == std::string::npos ? std::string() : text.substr(at, text.find("endobj", at) - at);
  };
  for (const char* ink : {"/CSCut CS", "/CSCrease CS"}) {
    SCOPED_TRACE(ink);
    const size_t at = text.find(ink);
    ASSERT_NE(at, std::string::npos);
    const size_t block = text.rfind(" q ", at);
    ASSERT_NE(block, std::string::npos);
    // The state set since the q: its name, then the name's object.
    const std::string since = text.substr(block, at - block);
    const size_t gs = since.find(" gs");
    ASSERT_NE(gs, std::string::npos) << "no graphics state before the " << ink;
    const std::string name = since.substr(since.rfind('/', gs), gs - since.rfind('/', gs));
    const size_t resource = text.find(name + " ", text.find("/ExtGState"));
    ASSERT_NE(resource, std::string::npos) << name;
    std::istringstream number(text.substr(resource + name.size()));
    std::string objectNumber;
    number >> objectNumber;
    EXPECT_NE(object(objectNumber).find("/OP true"), std::string::npos) << name << " does not overprint";
  }
  const size_t labels = text.find("/Name (Labels)");
  ASSERT_NE(labels, std::string::npos);
  const std::string group = text.substr(labels, text.find("endobj", labels) - labels);
  EXPECT_NE(group.find("/PrintState /OFF"), std::string::npos) << group;
}

// --dimensions (height x width x depth) shape the template as they shape
// the model: a paperback's wrap is back, spine and front (2 W + D by H); a
// hard back's case wrap 15 mm larger all round with 7 mm hinges; a mug's
// wrap goes round its body (pi times the depth: the width takes in the
// handle), its print 15 mm short of the mug's height.
TEST(PrintTemplates, DimensionsShapeTheTemplateAsTheyShapeTheModel) {
  KESTROVA_NEEDS_TOOLS("pdfinfo");
  struct Case {
    const char* shot;
    double width, height;  // the trim, mm
  };
  const Case cases[] = {
      {"--product book --style 1 --dimensions 180x110x15", 2 * 110 + 15, 180},
      {"--product book --style 0 --dimensions 225x140x21", 2 * 15 + 2 * 140 + 2 * 7 + 21, 225 + 2 * 15},
      {"--product mug --dimensions 95x120x82", M_PI * 82, 95 - 15},
  };
  QTemporaryDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shot);
    const std::string pdf = dir.filePath("t.pdf").toStdString();
    const CliRun made = run(std::string(c.shot) + " --template " + pdf);
    ASSERT_EQ(made.status, 0) << made.output;
    const auto trim = pdfBox(runProgram("pdfinfo", "-box " + pdf).output, "TrimBox");
    EXPECT_NEAR((trim[2] - trim[0]) / kPointsPerMm, c.width, 0.05);
    EXPECT_NEAR((trim[3] - trim[1]) / kPointsPerMm, c.height, 0.05);
  }
}

// The template written with a shot's artwork, drawn by Poppler and read
// back as a one-piece cover, draws the shot the faces given one by one do
// (a retail box's carton, its top laid upside down; a DVD's wrap); a cover
// of other proportions is refused with the size it should have.
TEST(PrintTemplates, ACoverCutFromItsOwnTemplateDrawsTheSameShot) {
  KESTROVA_NEEDS_TOOLS("pdftoppm");
  QTemporaryDir dir;
  const struct {
    const char* face;
    QRgb colour;
  } kFaces[] = {{"front", qRgb(200, 40, 40)}, {"back", qRgb(40, 40, 200)}, {"left", qRgb(40, 160, 40)},
                {"right", qRgb(200, 200, 40)}, {"top", qRgb(160, 40, 160)}, {"bottom", qRgb(40, 160, 160)}};
  std::string faces;
  for (const auto& f : kFaces) {
    // Each face darker towards its top left: a face turned or mirrored
    // shows.
    QImage picture(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const double shade = 0.55 + 0.45 * (x + y) / 126.0;
        picture.setPixel(x, y, qRgb(static_cast<int>(qRed(f.colour) * shade), static_cast<int>(qGreen(f.colour) * shade),
                                    static_cast<int>(qBlue(f.colour) * shade)));
      }
    }
    const std::string path = dir.filePath(QString(f.face) + ".png").toStdString();
    ASSERT_TRUE(picture.save(QString::fromStdString(path)));
    faces += " --face " + std::string(f.face) + "=" + path;
  }
  // Seen from above and from below: a carton's top and bottom show.
  for (const char* pose : {"--style 0 --rotation 60,20,0", "--style 0 --rotation -60,20,0", "--style 2 --rotation 25,35,0"}) {
    SCOPED_TRACE(pose);
    const std::string shot = " --look studio " + std::string(pose) + " --fit 5 --size 480x360";
    const QImage given = drawn(shot + faces + " --template " + dir.filePath("t.pdf").toStdString(), dir, "given.png");
    const CliRun poppler = runProgram("pdftoppm", "-r 100 -png -singlefile " + dir.filePath("t.pdf").toStdString() + " " +
                                                      dir.filePath("cover").toStdString());
    ASSERT_EQ(poppler.status, 0) << poppler.output;
    const QImage cut = drawn(shot + " --wrap " + dir.filePath("cover.png").toStdString(), dir, "cut.png");
    ASSERT_EQ(given.size(), cut.size());
    double difference = 0;
    int far = 0;
    for (int y = 0; y < given.height(); ++y) {
      for (int x = 0; x < given.width(); ++x) {
        const QRgb a = given.pixel(x, y), b = cut.pixel(x, y);
        const int d[3] = {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))};
        difference += d[0] + d[1] + d[2];
        far += *std::max_element(d, d + 3) > 30;
      }
    }
    EXPECT_LT(difference / (3.0 * given.width() * given.height()), 2.0) << "levels apart on average";
    EXPECT_LT(far, given.width() * given.height() / 100) << "pixels far apart (a face turned?)";
  }
  const CliRun wrong = run("--style 2 --wrap " + dir.filePath("front.png").toStdString() + " -o " + dir.filePath("w.png").toStdString());
  EXPECT_NE(wrong.status, 0);
  EXPECT_NE(wrong.output.find("64 x 64 pixels"), std::string::npos) << wrong.output;
  // The DVD's wrap with its bleed is 279 x 189 mm: 64 pixels wide, 43 high.
  EXPECT_NE(wrong.output.find("it should be 43 high"), std::string::npos) << wrong.output;
}

// A cover is taken within 1 % of its template's proportions: the default
// box's carton with its bleed is 485.9 x 351.2 mm, so at 540 pixels wide
// 390 high (0.1 % off) and 392 (0.6 %) are taken, 396 (1.5 %) and 409 (4.9 %)
// refused, each refusal naming the 390 it should be.
TEST(PrintTemplates, ACoverIsTakenWithinOnePercentOfItsProportions) {
  QTemporaryDir dir;
  for (const int high : {390, 392, 396, 409}) {
    SCOPED_TRACE(high);
    QImage cover(540, high, QImage::Format_RGB32);
    cover.fill(QColor(40, 90, 160));
    const QString file = dir.filePath(QString("cover%1.png").arg(high));
    ASSERT_TRUE(cover.save(file));
    const CliRun result = run("--wrap " + file.toStdString() + " --size 32x24 -o " + dir.filePath("out.png").toStdString());
    EXPECT_EQ(result.status == 0, high <= 392) << result.output;
    if (high > 392) {
      EXPECT_NE(result.output.find("it should be 390 high"), std::string::npos) << result.output;
    }
  }
}

// A drawn cover is drawn no larger than a face may be: a 600 mm mug's wrap
// (1891 x 591 mm with its bleed, 22334 x 6980 at 300 dots an inch, more
// than 600 MB of pixels) is cut into its face within 1.5 GB of address
// space, and the mug shows it.
TEST(PrintTemplates, AHugeDrawnCoverIsCutWithinTheFacesLimits) {
  QTemporaryDir dir;
  const QString pdf = dir.filePath("mug.pdf");
  {
    QPdfWriter writer(pdf);
    writer.setPageSize(QPageSize(QSizeF(1891.0, 591.0), QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    painter.fillRect(QRect(QPoint(0, 0), QSize(writer.width(), writer.height())), QColor(200, 30, 30));
  }
  const std::string out = dir.filePath("mug.png").toStdString();
  const CliRun cut = runProgram("prlimit --as=1500000000 " + std::string(KESTROVA_RENDER),
                                "--product mug --dimensions 600x600x600 --look studio --wrap " + pdf.toStdString() +
                                    " --size 160x120 -o " + out);
  ASSERT_EQ(cut.status, 0) << cut.output;
  const QImage mug(QString::fromStdString(out));
  int red = 0;
  for (int y = 0; y < mug.height(); ++y) {
    for (int x = 0; x < mug.width(); ++x) red += qRed(mug.pixel(x, y)) > 120 && qGreen(mug.pixel(x, y)) < 80;
  }
  EXPECT_GT(red, 500) << "the wrap on the mug";
}

// A template's SVG drawn by Chromium: each picture fills its panel the
// right way up, and past the trim the bleed continues it mirrored.
TEST(PrintTemplates, ChromiumDrawsAnSvgTemplatesPicturesUprightOnTheirPanels) {
  KESTROVA_NEEDS_TOOLS("node", "puppeteer-core", "chromium");
  QTemporaryDir dir;
  QImage front(40, 40, QImage::Format_RGB32);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) front.setPixel(x, y, y < 20 ? qRgb(220, 20, 20) : qRgb(20, 20, 220));
  }
  ASSERT_TRUE(front.save(dir.filePath("front.png")));
  const std::string svg = dir.filePath("dvd.svg").toStdString();
  ASSERT_EQ(run("--style 2 --face front=" + dir.filePath("front.png").toStdString() + " --template " + svg).status, 0);
  // 279 x 189 mm with the bleed, at the browser's 96 pixels an inch.
  const double perMm = 96 / 25.4;
  const CliRun shot = nodeScript("svg_shot.mjs", svg + " " + dir.filePath("dvd.png").toStdString() + " 1060 720 2");
  ASSERT_EQ(shot.status, 0) << shot.output;
  const QImage image(dir.filePath("dvd.png"));
  ASSERT_FALSE(image.isNull());
  auto at = [&](double x, double y) {  // the layout's millimetres, y up, the bleed 3 mm
    return image.pixel(static_cast<int>((x + 3) * perMm * 2), static_cast<int>((183 + 3 - y) * perMm * 2));
  };
  auto red = [](QRgb p) { return qRed(p) > 150 && qBlue(p) < 100; };
  auto blue = [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 100; };
  const double middle = 129.5 + 14 + 129.5 / 2;
  EXPECT_TRUE(red(at(middle, 183 * 0.75))) << "the front's upper half";
  EXPECT_TRUE(blue(at(middle, 183 * 0.25))) << "the front's lower half";
  EXPECT_TRUE(red(at(middle, 183 + 2))) << "the bleed above, mirrored";
  EXPECT_TRUE(blue(at(middle, -2))) << "the bleed below, mirrored";
}

// The sides' pictures on a carton, against coordinates worked out by hand
// (a writer and a cutter sharing a mirror would pass any round trip). The
// printed side is the box's outside: the left side's right edge meets the
// front, the right side's left edge meets it, so a picture red on its left
// and blue on its right, dark along its top, lies on both panels red, then
// blue, left to right, dark at the top. With --dimensions 260x200x40 and
// 3 mm bleed: glue flap 15 mm, the left side from 15 to 55 mm, the right
// side from 255 to 295; the sides' tops 3 + 15 (tuck) + 40 (top) mm below
// the page's top, their dark band the top eighth of 260 mm.
TEST(PrintTemplates, TheSidesPicturesLieUnmirroredWhereTheFoldedBoxShowsThem) {
  KESTROVA_NEEDS_TOOLS("pdftoppm");
  QTemporaryDir dir;
  QImage side(40, 80, QImage::Format_RGB32);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 40; ++x) side.setPixel(x, y, y < 10 ? qRgb(20, 20, 20) : x < 20 ? qRgb(220, 20, 20) : qRgb(20, 20, 220));
  }
  const std::string face = dir.filePath("side.png").toStdString(), pdf = dir.filePath("t.pdf").toStdString();
  ASSERT_TRUE(side.save(QString::fromStdString(face)));
  ASSERT_EQ(run("--dimensions 260x200x40 --face left=" + face + " --face right=" + face + " --template " + pdf).status, 0);
  ASSERT_EQ(runProgram("pdftoppm", "-r 50 -png -singlefile " + pdf + " " + dir.filePath("page").toStdString()).status, 0);
  const QImage page(dir.filePath("page.png"));
  ASSERT_FALSE(page.isNull());
  const double perMm = 50 / 25.4;
  auto at = [&](double xMm, double yMm) {  // millimetres from the page's top left
    return page.pixel(static_cast<int>(xMm * perMm), static_cast<int>(yMm * perMm));
  };
  auto red = [](QRgb p) { return qRed(p) > 150 && qBlue(p) < 100; };
  auto blue = [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 100; };
  auto dark = [](QRgb p) { return qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60; };
  for (const double left : {3.0 + 15, 3.0 + 255}) {
    SCOPED_TRACE(left);
    const double middle = 3 + 15 + 40 + 130;
    EXPECT_TRUE(red(at(left + 10, middle))) << "the picture's left half on the panel's left";
    EXPECT_TRUE(blue(at(left + 30, middle))) << "its right half on the right";
    EXPECT_TRUE(dark(at(left + 20, 3 + 15 + 40 + 12))) << "its top at the top";
    EXPECT_FALSE(dark(at(left + 20, 3 + 15 + 40 + 250))) << "and not at the bottom";
  }
}
