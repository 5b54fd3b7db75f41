// The studio look from the command line, judged from its pictures: against Blender's Cycles, the
// mug, small print, books, cases and devices.
#include "tests/cli/cli_helpers.h"

TEST(StudioOracle, BlendersCyclesRebuildingTheDescribedStudioDrawsAboutTheSamePicture) {
  KESTROVA_NEEDS_TOOLS("blender");
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  const struct {
    const char* face;
    QColor colour;
  } faces[] = {{"front", QColor(190, 70, 60)}, {"left", QColor(70, 150, 80)}, {"right", QColor(70, 150, 80)},
               {"top", QColor(80, 100, 190)},  {"back", QColor(150, 150, 150)}, {"bottom", QColor(150, 150, 150)}};
  std::string faceArgs;
  for (const auto& face : faces) {
    QImage flat(8, 8, QImage::Format_RGB32);
    flat.fill(face.colour);
    const std::string path = root + "/" + face.face + ".png";
    ASSERT_TRUE(flat.save(QString::fromStdString(path)));
    faceArgs += std::string(" --face ") + face.face + "=" + path;
  }
  const std::string ours = root + "/kestrova.png", theirs = root + "/cycles.png", json = root + "/studio.json";
  const CliRun drawn = run("--look studio --fit 10 --shadow 100 --size 320x180" + faceArgs + " -o " + ours +
                           " --describe " + json);
  ASSERT_EQ(drawn.status, 0) << drawn.output;
  const CliRun cycles = runProgram("blender", std::string("-b --factory-startup --python ") + KESTROVA_BLENDER_SCRIPT +
                                                  " -- " + json + " " + theirs + " 64");
  ASSERT_EQ(cycles.status, 0) << cycles.output;
  const QImage a(QString::fromStdString(ours)), b(QString::fromStdString(theirs));
  ASSERT_EQ(a.size(), b.size());
  const double similarity = ssim(luminanceOverWhite(a), luminanceOverWhite(b), a.width() / 2, a.height() / 2);
  std::printf("studio look against Cycles: luminance SSIM %.3f\n", similarity);
  EXPECT_GT(similarity, 0.80);
  // And the light on each face: the mean of each colour group's leading
  // channel, the front's, the sides' and the top's, in both pictures.
  auto groups = [](const QImage& picture) {
    std::array<double, 3> sum{}, count{};
    const QImage image = picture.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if (qAlpha(p) < 250) continue;
        const int c[3] = {qRed(p), qGreen(p), qBlue(p)};
        for (int k = 0; k < 3; ++k) {
          if (c[k] > 30 && c[k] > c[(k + 1) % 3] + 25 && c[k] > c[(k + 2) % 3] + 25) sum[k] += c[k], count[k] += 1;
        }
      }
    }
    for (int k = 0; k < 3; ++k) sum[k] = count[k] > 20 ? sum[k] / count[k] : 0;
    return sum;
  };
  const std::array<double, 3> mine = groups(a), reference = groups(b);
  std::printf("front, sides, top: %.0f %.0f %.0f here, %.0f %.0f %.0f in Cycles\n", mine[0], mine[1], mine[2],
              reference[0], reference[1], reference[2]);
  for (int k = 0; k < 3; ++k) {
    ASSERT_GT(reference[k], 0) << "group " << k;
    EXPECT_NEAR(mine[k] / reference[k], 1.0, 0.15) << "group " << k;
  }
  // The step from the lit front to the sides, as the reference has it.
  EXPECT_NEAR((mine[0] / mine[1]) / (reference[0] / reference[1]), 1.0, 0.12);
}

// Glaze is glaze: under a dark wrap the lip, inside and handle stay white;
// the inside is darker than the body.
TEST(StudioMug, TheGlazeStaysWhiteUnderADarkWrapAndTheInsideIsDarker) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string common = " --look studio --product mug --floor none --fit 5 --rotation 40,0,0 --size 320x240 -o ";
  ASSERT_EQ(run(common + folder + "/dark.png --face wrap=" + flatPicture(folder + "/d.png", QColor(40, 40, 60))).status, 0);
  const QImage dark(QString::fromStdString(folder + "/dark.png"));
  int glaze = 0;
  for (int y = 0; y < dark.height(); ++y) {
    for (int x = 0; x < dark.width(); ++x) {
      const QRgb p = dark.pixel(x, y);
      glaze += greyish(p) && qRed(p) > 150 && qRed(p) < 250;
    }
  }
  EXPECT_GT(glaze, 1500) << "the lip, the inside and the handle are glaze, not the wrap";

  // A green wrap and a warm glaze of the same lightness tell the body from
  // the inside, which sees little of the room and darkens towards the bottom.
  ASSERT_EQ(run(common + folder + "/light.png --glaze F0DCCD --face wrap=" +
                flatPicture(folder + "/l.png", QColor(200, 235, 200))).status, 0);
  const QImage light(QString::fromStdString(folder + "/light.png"));
  std::vector<double> body, inside;
  for (int y = 0; y < light.height(); ++y) {
    for (int x = light.width() / 3; x < light.width() * 2 / 3; ++x) {
      const QRgb p = light.pixel(x, y);
      if (qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255) continue;
      const double l = 0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p);
      if (qGreen(p) > qRed(p) + 12) body.push_back(l);
      else if (y < light.height() / 2 && qRed(p) > qBlue(p) + 12 && qRed(p) >= qGreen(p)) inside.push_back(l);
    }
  }
  ASSERT_GT(inside.size(), 2000u);
  ASSERT_GT(body.size(), 2000u);
  std::nth_element(inside.begin(), inside.begin() + static_cast<long>(inside.size() / 2), inside.end());
  std::nth_element(body.begin(), body.begin() + static_cast<long>(body.size() / 2), body.end());
  EXPECT_LE(inside[inside.size() / 2], 0.7 * body[body.size() / 2]);
}

// Once a render names a face, the others are plain card of --blank's
// colour, never the program's sample artwork (a navy top saying KESTROVA).
TEST(StudioMug, FacesNotGivenArePlainInEveryLook) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string red = flatPicture(folder + "/red.png", QColor(220, 30, 30));
  auto navy = [&](const std::string& arguments) {
    const std::string out = folder + "/out.png";
    EXPECT_EQ(run("--size 320x240 -o " + out + " " + arguments).status, 0) << arguments;
    const QImage image(QString::fromStdString(out));
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        count += qBlue(p) > qRed(p) + 40 && qBlue(p) > 80;
      }
    }
    return count;
  };
  for (const std::string look : {"classic", "studio"}) {
    SCOPED_TRACE(look);
    EXPECT_GT(navy("--look " + look), 300) << "the sample box, as a control";
    EXPECT_EQ(navy("--look " + look + " --face front=" + red), 0);
    EXPECT_GT(navy("--look " + look + " --face front=" + red + " --blank 2040C0"), 300) << "--blank's colour";
  }
}

// Small print shown smaller than its picture keeps the darkness a good
// shrink gives it: Lanczos-3 in linear light, computed here.
TEST(StudioPrint, ASmallParagraphIsAsDarkAsALanczosShrinkOfTheCover) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  // Lines of 7-pixel "glyphs" two or four strokes wide, as 10-pixel text has.
  QImage cover(1000, 1400, QImage::Format_RGB32);
  cover.fill(qRgb(255, 255, 255));
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  for (int top = 20; top < 1380; top += 14) {
    for (int x = 20; x < 940;) {
      for (int glyph = 3 + static_cast<int>(next() % 6); glyph > 0; --glyph, x += 5) {
        for (int y = top + 2; y < top + 9; ++y) cover.setPixel(x, y, qRgb(20, 20, 20));
        if (next() % 10 < 6) for (int y = top + 2; y < top + 9; ++y) cover.setPixel(x + 3, y, qRgb(20, 20, 20));
        if (next() % 2) for (int k = 0; k < 4; ++k) cover.setPixel(x + k, top + 2, qRgb(20, 20, 20));
        if (next() % 2) for (int k = 0; k < 4; ++k) cover.setPixel(x + k, top + 8, qRgb(20, 20, 20));
      }
      x += 4;
    }
  }
  ASSERT_TRUE(cover.save(QString::fromStdString(folder + "/cover.png")));
  // The middle of the cover, in linear light.
  const int cw = 500, ch = 700;
  std::vector<double> middle(static_cast<size_t>(cw) * ch);
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) middle[static_cast<size_t>(y) * cw + x] = toLinear(qRed(cover.pixel(250 + x, 350 + y)));
  }
  auto darkest = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 100), v.end());
    return v[v.size() / 100];
  };
  for (const char* size : {"1000x800", "1250x1000", "1470x1176"}) {
    SCOPED_TRACE(size);
    const std::string out = folder + "/shot.png";
    ASSERT_EQ(run(std::string("--look studio --floor none --rotation 0,0,0 --size ") + size + " -o " + out +
                  " --face front=" + folder + "/cover.png").status, 0);
    const QImage shot(QString::fromStdString(out));
    // The front, head-on: the span of non-white pixels across the middle.
    int x0 = -1, x1 = -1, y0 = -1, y1 = -1;
    for (int x = 0; x < shot.width(); ++x) {
      if (qRed(shot.pixel(x, shot.height() / 2)) < 250) x0 = x0 < 0 ? x : x0, x1 = x;
    }
    for (int y = 0; y < shot.height(); ++y) {
      if (qRed(shot.pixel(shot.width() / 2, y)) < 250) y0 = y0 < 0 ? y : y0, y1 = y;
    }
    ASSERT_GT(x1 - x0, 100);
    const double scale = (x1 - x0 + 1) / 1000.0;
    std::vector<double> seen;
    for (int y = y0 + (y1 - y0) / 4; y < y1 - (y1 - y0) / 4; ++y) {
      for (int x = x0 + (x1 - x0) / 4; x < x1 - (x1 - x0) / 4; ++x) seen.push_back(qGray(shot.pixel(x, y)));
    }
    const int ow = static_cast<int>(std::lround(cw * scale)), oh = static_cast<int>(std::lround(ch * scale));
    std::vector<double> shrunk = lanczosAxis(lanczosAxis(middle, cw, ch, oh, false), cw, oh, ow, true);
    for (double& v : shrunk) v = toLevels(v);
    EXPECT_NEAR(darkest(seen), darkest(shrunk), 20) << "at " << scale << " of its size";
  }
}

// A light, smooth cover shows no crack at the picture's own size: no pixel
// stands out from the flat ring of pixels two away from it (Mesa's
// anisotropic filtering drew a dotted line of wrong 2 x 2 blocks here).
TEST(StudioPrint, ASmoothLightCoverHasNoCracks) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  QImage sky(900, 1200, QImage::Format_RGB32);
  for (int y = 0; y < sky.height(); ++y) {
    const double t = y / 1199.0;
    for (int x = 0; x < sky.width(); ++x) sky.setPixel(x, y, qRgb(200 + int(50 * t), 220 + int(30 * t), 250));
  }
  ASSERT_TRUE(sky.save(QString::fromStdString(folder + "/sky.png")));
  for (const char* pose : {"30,30,0", "20,-30,0"}) {
    SCOPED_TRACE(pose);
    const std::string out = folder + "/shot.png";
    ASSERT_EQ(run(std::string("--look studio --studio dark --rotation ") + pose + " --size 1000x750 --face front=" +
                  folder + "/sky.png -o " + out).status, 0);
    const QImage shot(QString::fromStdString(out));
    auto level = [&shot](int x, int y) {
      const QRgb p = shot.pixel(x, y);
      return (qRed(p) + qGreen(p) + qBlue(p)) / 3.0;
    };
    int odd = 0;
    for (int y = 2; y + 2 < shot.height(); ++y) {
      for (int x = 2; x + 2 < shot.width(); ++x) {
        std::vector<double> ring;
        for (int k = -2; k <= 2; ++k) {
          for (const auto& [dx, dy] : {std::pair{k, -2}, {k, 2}, {-2, k}, {2, k}}) ring.push_back(level(x + dx, y + dy));
        }
        const auto [low, high] = std::minmax_element(ring.begin(), ring.end());
        if (*high - *low >= 4) continue;
        std::nth_element(ring.begin(), ring.begin() + 8, ring.end());
        odd += std::fabs(level(x, y) - ring[8]) > 4;
      }
    }
    EXPECT_EQ(odd, 0);
  }
}

// The hard back's page block seen from above in the studio look: the edges
// of its leaves run along the book's width, one line a leaf, and nothing
// crosses them (the classic picture's grain drew a criss-cross there).
TEST(StudioBook, ThePageBlocksTopShowsLinesAlongThePagesAndNothingAcross) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("top.png").toStdString();
  const CliRun drawn =
      run("--look studio --product book --style 0 --size 800x600 --rotation 90,0,0 --fit 5 -o " + out);
  ASSERT_EQ(drawn.status, 0) << drawn.output;
  const QImage image = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(image.isNull());
  // The page block: the cream rows and columns of the picture's lower half
  // (the boards are greyer, the floor white).
  auto cream = [&image](int x, int y) {
    const QRgb p = image.pixel(x, y);
    return qRed(p) > 215 && qRed(p) < 252 && qGreen(p) > 205 && qBlue(p) > 185 && qRed(p) - qBlue(p) > 12;
  };
  auto longestRun = [](const std::vector<int>& counts) {
    const int most = *std::max_element(counts.begin(), counts.end());
    int bestFirst = 0, bestLength = 0;
    for (int i = 0, first = 0; i <= static_cast<int>(counts.size()); ++i) {
      if (i < static_cast<int>(counts.size()) && counts[static_cast<size_t>(i)] >= most * 6 / 10) continue;
      if (i - first > bestLength) bestFirst = first, bestLength = i - first;
      first = i + 1;
    }
    return std::pair{bestFirst, bestLength};
  };
  const int top = image.height() / 2;
  std::vector<int> rows(static_cast<size_t>(image.height() - top)), columns(static_cast<size_t>(image.width()));
  for (int y = top; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (cream(x, y)) ++rows[static_cast<size_t>(y - top)], ++columns[static_cast<size_t>(x)];
    }
  }
  const auto [firstRow, height] = longestRun(rows);
  const auto [firstColumn, width] = longestRun(columns);
  ASSERT_GT(height, 40) << "no page block under the camera";
  ASSERT_GT(width, 200) << "no page block under the camera";
  double along = 0, across = 0;
  int count = 0;
  for (int y = top + firstRow + 6; y < top + firstRow + height - 7; ++y) {
    for (int x = firstColumn + 20; x < firstColumn + width - 21; ++x) {
      along += std::abs(qGreen(image.pixel(x + 1, y)) - qGreen(image.pixel(x, y)));
      across += std::abs(qGreen(image.pixel(x, y + 1)) - qGreen(image.pixel(x, y)));
      ++count;
    }
  }
  along /= count;
  across /= count;
  EXPECT_GT(across, 0.2) << "the leaves' lines do not show";
  EXPECT_LT(along, 0.05) << "something crosses the pages' lines (" << across << " across them)";
}

// The picture shows the book as thick as its pages make it: the studio's
// own description of the product, seen unturned, is as deep against its
// height as the spine against the style's real height (180 mm for the
// paperback, 225 for the hard back).
TEST(StudioBook, AStillShowsTheSpineItsPagesMake) {
  QTemporaryDir dir;
  auto depthToHeight = [&dir](const std::string& style) {
    const std::string described = dir.filePath("d.json").toStdString();
    const CliRun made = run("--look studio --product book --style " + style + " --rotation 0,0,0 --size 64x48 -o " +
                            dir.filePath("b.png").toStdString() + " --describe " + described + " --pages 320 --paper " +
                            std::to_string(50 * 1.4801));
    EXPECT_EQ(made.status, 0) << made.output;
    QFile file(QString::fromStdString(described));
    if (!file.open(QIODevice::ReadOnly)) return 0.0;
    double low[3] = {1e30, 1e30, 1e30}, high[3] = {-1e30, -1e30, -1e30};
    for (const auto& part : QJsonDocument::fromJson(file.readAll()).object()["parts"].toArray()) {
      for (const auto& corner : part.toObject()["triangles"].toArray()) {
        const QJsonArray at = corner.toArray();
        for (int a = 0; a < 3 && at.size() >= 3; ++a) {
          low[a] = std::min(low[a], at[a].toDouble());
          high[a] = std::max(high[a], at[a].toDouble());
        }
      }
    }
    return (high[2] - low[2]) / (high[1] - low[1]);
  };
  EXPECT_NEAR(depthToHeight("1"), 160 * 0.097 / 180, 0.002) << "the paperback";
  EXPECT_NEAR(depthToHeight("0"), (160 * 0.097 + 2 * 2.8125) / 225, 0.002) << "the hard back";
}

// A keep case seen head-on: where its corners are rounded the white floor
// shows; the red wrap under its clear sleeve reads red, and in the default
// pose the sleeve shines where it mirrors the studio's strip light, which
// printed card (no sleeve) does not.
TEST(StudioCases, AKeepCasesRoundedCornersShowTheFloorAndItsRedWrapShinesUnderItsSleeve) {
  QTemporaryDir dir;
  flatPicture(dir.filePath("red.png").toStdString(), qRgb(200, 30, 30));
  const std::string red = " --face front=" + dir.filePath("red.png").toStdString();
  const QImage ahead = drawn("--look studio --style 2 --floor none --rotation 0,0,0 --fit 5 --size 600x800" + red, dir, "a.png");
  ASSERT_FALSE(ahead.isNull());
  int left = ahead.width(), right = -1, top = ahead.height(), bottom = -1;
  auto background = [&ahead](int x, int y) {
    const QRgb p = ahead.pixel(x, y);
    return qRed(p) > 250 && qGreen(p) > 250 && qBlue(p) > 250;
  };
  for (int y = 0; y < ahead.height(); ++y) {
    for (int x = 0; x < ahead.width(); ++x) {
      if (!background(x, y)) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  ASSERT_GT(right - left, 200) << "no case in sight";
  // 4 mm of 135: a point a sixth of the radius in from both edges lies
  // outside the arc (less than 0.29 of it).
  const int inset = std::max(1, (right - left) * 4 / 135 / 6);
  for (const auto& [x, y] : {std::pair{left + inset, top + inset}, std::pair{right - inset, top + inset},
                             std::pair{left + inset, bottom - inset}, std::pair{right - inset, bottom - inset}}) {
    EXPECT_TRUE(background(x, y)) << "a square corner at " << x << "," << y;
  }
  EXPECT_FALSE(background((left + right) / 2, top + inset)) << "the case's top edge";
  const QRgb middle = ahead.pixel((left + right) / 2, (top + bottom) / 2);
  EXPECT_GT(qRed(middle), 2 * qGreen(middle)) << "the wrap through the sleeve is not red";
  EXPECT_GT(qRed(middle), 2 * qBlue(middle));

  auto shine = [&](const std::string& style) {
    const QImage turned = drawn("--look studio --style " + style + " --fit 5 --size 600x800" + red, dir, "t.png");
    // Over red, a reflection of white light: the green and blue the print
    // lacks.
    int red = 0, shining = 0;
    for (int y = 0; y < turned.height(); ++y) {
      for (int x = 0; x < turned.width(); ++x) {
        const QRgb p = turned.pixel(x, y);
        if (qRed(p) > 2 * qGreen(p) && qRed(p) > 2 * qBlue(p)) ++red;
        if (qRed(p) > 200 && qRed(p) > qGreen(p) + 30 && qGreen(p) > 120 && qBlue(p) > 120) ++shining;
      }
    }
    return std::pair{red, shining};
  };
  const auto [caseRed, caseShine] = shine("2");
  const auto [boxRed, boxShine] = shine("0");
  EXPECT_GT(caseShine, caseRed / 50) << "the sleeve mirrors nothing (" << caseRed << " red pixels)";
  EXPECT_LT(boxShine * 10, caseShine) << "printed card shines as if under plastic (" << boxRed << " red pixels)";
}

// A 16:9 screen shot on a phone's screen keeps its shape, fitted whole or
// filling the screen: its circle stays round.
TEST(StudioDevices, AScreenShotOnAPhoneKeepsItsCirclesRound) {
  QTemporaryDir dir;
  QImage shot(960, 540, QImage::Format_RGB32);
  shot.fill(qRgb(30, 60, 150));
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      if (std::hypot(x - 480 + 0.5, y - 270 + 0.5) < 200) shot.setPixel(x, y, qRgb(250, 200, 30));
    }
  }
  ASSERT_TRUE(shot.save(dir.filePath("shot.png")));
  for (const char* fit : {"contain", "cover"}) {
    SCOPED_TRACE(fit);
    const QImage image = drawn(std::string("--look studio --product screenshot --device phone --screen-fit ") + fit +
                                   " --face screen=" + dir.filePath("shot.png").toStdString() +
                                   " --floor none --rotation 0,0,0 --fit 5 --size 1200x800",
                               dir, "p.png");
    ASSERT_FALSE(image.isNull());
    // Yellow keeps red and green well above blue, under the glass's
    // reflection too.
    auto yellow = [&image](int x, int y) {
      const QRgb p = image.pixel(x, y);
      return qRed(p) > qBlue(p) + 90 && qGreen(p) > qBlue(p) + 60;
    };
    long sumX = 0, sumY = 0, count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (yellow(x, y)) sumX += x, sumY += y, ++count;
      }
    }
    ASSERT_GT(count, 1000) << "no circle on the screen";
    const int cx = static_cast<int>(sumX / count), cy = static_cast<int>(sumY / count);
    int wide = 0, high = 0;
    for (int x = 0; x < image.width(); ++x) wide += yellow(x, cy) ? 1 : 0;
    for (int y = 0; y < image.height(); ++y) high += yellow(cx, y) ? 1 : 0;
    EXPECT_NEAR(static_cast<double>(wide) / high, 1.0, 0.02) << wide << " wide, " << high << " high";
  }
}

// A browser window's tab carries the title asked for; without one it is
// plain.
TEST(StudioDevices, ABrowserWindowsTabShowsItsTitle) {
  QTemporaryDir dir;
  flatPicture(dir.filePath("page.png").toStdString(), qRgb(240, 200, 40));
  auto text = [&dir](const std::string& title) {
    const QImage image = drawn("--look studio --product screenshot --device browser --face screen=" +
                                   dir.filePath("page.png").toStdString() + title +
                                   " --floor none --rotation 0,0,0 --fit 5 --size 1600x1200",
                               dir, "b.png");
    // Dark grey, as text is drawn, where nothing else of the window is.
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        dark += qRed(p) < 180 && std::abs(qRed(p) - qBlue(p)) < 20 && std::abs(qGreen(p) - qBlue(p)) < 20;
      }
    }
    return dark;
  };
  EXPECT_GT(text(" --title Kestrova-Home"), 40);
  EXPECT_EQ(text(""), 0);
}
