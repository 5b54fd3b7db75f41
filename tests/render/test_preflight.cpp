// The artwork check against a projection worked out here from the box's
// placement table, and drawings drawn again for a large picture.
#include <GL/gl.h>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <memory>

#include "render/export_image.h"
#include "render/preflight.h"
#include "render/texture_loader.h"
#include "scene/product_styles.h"
#include "tests/support/headless_fixture.h"
#include "tests/support/test_textures.h"

using namespace kestrova;

namespace {

using Vec = std::array<double, 3>;
using Mat = std::array<std::array<double, 4>, 4>;  // rows

Mat identity() { return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}; }

Mat times(const Mat& a, const Mat& b) {
  Mat m{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      for (int k = 0; k < 4; ++k) m[r][c] += a[r][k] * b[k][c];
  return m;
}

Mat translate(double x, double y, double z) {
  Mat m = identity();
  m[0][3] = x;
  m[1][3] = y;
  m[2][3] = z;
  return m;
}

Mat scale(double x, double y, double z) {
  Mat m = identity();
  m[0][0] = x;
  m[1][1] = y;
  m[2][2] = z;
  return m;
}

// A turn of `degrees` about a unit axis, as the GL's glRotate makes it.
Mat rotate(double degrees, double x, double y, double z) {
  const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
  Mat m = identity();
  m[0] = {x * x * (1 - c) + c, x * y * (1 - c) - z * s, x * z * (1 - c) + y * s, 0};
  m[1] = {y * x * (1 - c) + z * s, y * y * (1 - c) + c, y * z * (1 - c) - x * s, 0};
  m[2] = {x * z * (1 - c) - y * s, y * z * (1 - c) + x * s, z * z * (1 - c) + c, 0};
  return m;
}

Vec apply(const Mat& m, const Vec& v) {
  Vec out{};
  for (int r = 0; r < 3; ++r) out[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2] + m[r][3];
  return out;
}

struct Turn {
  double angle, x, y, z;
};

// One row of the box's placement table.
struct Placement {
  TextureSlot slot;
  Turn turns[3];
  Vec scale;
  Vec offset;
};

}  // namespace

class ArtworkCheck : public test::HeadlessGL {};

TEST_F(ArtworkCheck, EveryBoxFaceIsShownAtTheSizeTheProjectionGives) {
  SceneState scene;
  test::StillTestBox(scene);
  const double rx = 20, ry = -35, rz = 5;
  scene.rotation = {static_cast<float>(rx), static_cast<float>(ry), static_cast<float>(rz)};
  scene.pan = {0, 0, 0};
  // Style 0's scale from the style table; every box is drawn 0.26 high and
  // wide and 0.035 deep.
  const double sx = 0, sy = 14, sz = -45, h = 0.26, w = 0.26, d = 0.035;
  const Placement faces[] = {
      {kSlotBoxFront, {{rx, 1, 0, 0}, {ry, 0, 1, 0}, {rz, 0, 0, 1}}, {w * 20 + sx / 10, h * 20 + sy / 10, 2 * d},
       {0, 0, 330 + 6.35 * sz}},
      {kSlotBoxBack, {{rx, 1, 0, 0}, {ry + 180, 0, 1, 0}, {-rz, 0, 0, 1}}, {w * 20 + sx / 10, h * 20 + sy / 10, 2 * d},
       {0.2, 0, 324 + 6.3 * sz}},
      {kSlotBoxLeft, {{rx, 1, 0, 0}, {ry + 270, 0, 1, 0}, {rz, 1, 0, 0}},
       {w * 20 + sz / 10, h * 20 + sy / 10, 2 * d + sx / 740}, {0.14, 0, 333}},
      {kSlotBoxRight, {{rx, 1, 0, 0}, {ry + 90, 0, 1, 0}, {-rz, 1, 0, 0}},
       {w * 20 + sz / 10, h * 20 + sy / 10, 2 * d + sx / 740}, {0.05, 0, 318}},
      {kSlotBoxTop, {{rx - 90, 1, 0, 0}, {ry, 0, 0, 1}, {-rz, 0, 1, 0}},
       {w * 20 + sx / 10, h * 20 + sz / 10, 2 * d + sy / 740}, {0, 0.06, 319}},
      {kSlotBoxBottom, {{rx + 90, 1, 0, 0}, {180 - ry, 0, 0, 1}, {-rz, 0, 1, 0}},
       {w * 20 + sx / 10, h * 20 + sz / 10, 2 * d + sy / 740}, {0.2, 0.06, 333}},
  };
  // Each face its own artwork, so a face reported for another's slot shows.
  int n = 0;
  for (const Placement& face : faces) {
    scene.artwork[face.slot] = {"face" + std::to_string(n) + ".png", 300 + 100 * n, 1000 - 50 * n, false, 512, 512};
    ++n;
  }
  const int width = 3840, height = 2160;
  const std::vector<FaceCheck> checks = CheckArtwork(scene, width, height);
  ASSERT_EQ(checks.size(), 6u);

  const double f = 1 / std::tan(22.5 * M_PI / 180);
  auto project = [&](const Vec& eye) {
    return std::array<double, 2>{(f * height / width * eye[0] / -eye[2] + 1) / 2 * width,
                                 (f * eye[1] / -eye[2] + 1) / 2 * height};
  };
  for (const Placement& face : faces) {
    SCOPED_TRACE(face.slot);
    Mat m = translate(0, 0, -100);
    for (const Turn& turn : face.turns) m = times(m, rotate(turn.angle, turn.x, turn.y, turn.z));
    m = times(m, scale(face.scale[0], face.scale[1], face.scale[2]));
    // The grid runs from -4.5 in steps of 0.2: 44 steps are the picture's width.
    auto at = [&](int p, int q) {
      return project(apply(m, {p / 5.0 - 4.5 + face.offset[0], q / 5.0 - 4.5 + face.offset[1], face.offset[2]}));
    };
    double across = 0, down = 0;
    for (int p = 0; p <= 44; ++p) {
      for (int q = 0; q <= 44; ++q) {
        const auto a = at(p, q), b = at(p + 1, q), c = at(p, q + 1);
        if (p < 44) across = std::max(across, 44 * std::hypot(b[0] - a[0], b[1] - a[1]));
        if (q < 44) down = std::max(down, 44 * std::hypot(c[0] - a[0], c[1] - a[1]));
      }
    }
    const auto o = at(0, 0), u = at(44, 0), v = at(0, 44);
    const bool seen = (u[0] - o[0]) * (v[1] - o[1]) - (u[1] - o[1]) * (v[0] - o[0]) > 0;

    const FaceArtwork& art = scene.artwork[face.slot];
    const auto check = std::find_if(checks.begin(), checks.end(), [&](const FaceCheck& c) { return c.slot == face.slot; });
    ASSERT_NE(check, checks.end());
    EXPECT_EQ(check->path, art.path);
    EXPECT_NEAR(check->shownWidth, across, across * 0.005);
    EXPECT_NEAR(check->shownHeight, down, down * 0.005);
    EXPECT_NEAR(check->stretch, std::max(across / art.width, down / art.height), 0.01 * check->stretch);
    // The face's shape is its two scales; turning keeps lengths.
    const double aspect = (static_cast<double>(art.width) / art.height) / (face.scale[0] / face.scale[1]) - 1;
    EXPECT_NEAR(check->aspectDifference, aspect, 1e-3 * (1 + std::fabs(aspect)));
    EXPECT_EQ(check->seen, seen);
    const bool soft = check->stretch > 1.5, squeezed = std::fabs(aspect) > 0.05;
    EXPECT_EQ(check->warnings.size(), seen ? size_t(soft) + size_t(squeezed) : 0u);
  }

  // Past the GL's largest viewport the picture is measured at a fraction:
  // eight times the size shows everything eight times as large.
  const std::vector<FaceCheck> large = CheckArtwork(scene, width * 8, height * 8);
  ASSERT_EQ(large.size(), checks.size());
  for (size_t i = 0; i < checks.size(); ++i) {
    EXPECT_NEAR(large[i].shownWidth, 8 * checks[i].shownWidth, 0.01 * large[i].shownWidth);
  }
  EXPECT_NE(ArtworkTable(checks, width, height).find("warning: "), std::string::npos);
}

TEST_F(ArtworkCheck, ADrawingIsDrawnAgainAsLargeAsALargePictureShowsIt) {
  QTemporaryDir dir;
  const std::string svg = dir.path().toStdString() + "/cover.svg";
  std::ofstream(svg) << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"80\" height=\"100\">"
                        "<rect x=\"10\" y=\"10\" width=\"60\" height=\"80\" fill=\"#2040c0\"/></svg>";
  const std::string png = dir.path().toStdString() + "/back.png";
  QImage(100, 125, QImage::Format_RGB32).save(QString::fromStdString(png));

  SceneState scene;
  test::StillTestBox(scene);
  scene.rotation = {0, 0, 0};
  scene.pan = {0, 0, 60};  // close: the front fills far more than 2048 pixels
  scene.imagePathIsAbsolute = 2;
  std::string why;
  ASSERT_TRUE(LoadTexture(scene, svg, scene.textureSlot[kSlotBoxFront], &why)) << why;
  ASSERT_TRUE(LoadTexture(scene, png, scene.textureSlot[kSlotBoxBack], &why)) << why;
  const FaceArtwork before = scene.artwork[kSlotBoxFront];
  EXPECT_TRUE(before.scalable);
  EXPECT_EQ(std::max(before.textureWidth, before.textureHeight), kDefaultDrawingSide);
  const FaceArtwork backBefore = scene.artwork[kSlotBoxBack];

  const std::vector<FaceCheck> checks = CheckArtwork(scene, 2000, 2000);
  const auto front = std::find_if(checks.begin(), checks.end(), [](const FaceCheck& c) { return c.slot == kSlotBoxFront; });
  ASSERT_NE(front, checks.end());
  ASSERT_GT(front->shownHeight, 3000) << "the face is shown larger than the default drawing";
  EXPECT_EQ(front->stretch, 1.0) << "a drawing is never stretched";

  ExportOptions options;
  options.width = 2000;
  options.height = 2000;
  RenderHost host;
  ASSERT_FALSE(RenderExport(scene, host, options, &why).pixels.empty()) << why;
  GLint textureHeight = 0;
  glBindTexture(GL_TEXTURE_2D, scene.textureSlot[kSlotBoxFront]);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
  EXPECT_EQ(textureHeight, 4096) << "drawn again at the shown size's power of two";
  EXPECT_EQ(scene.artwork[kSlotBoxFront].textureHeight, 4096);
  EXPECT_EQ(scene.artwork[kSlotBoxFront].path, svg);
  EXPECT_EQ(scene.artwork[kSlotBoxBack].textureHeight, backBefore.textureHeight) << "pixels are not drawn again";
}

TEST_F(ArtworkCheck, ADrawingThatCouldNotBeDrawnLargerIsReportedAtTheSizeItHas) {
  SceneState scene;
  test::StillTestBox(scene);
  scene.rotation = {0, 0, 0};
  // A drawing on the front whose texture holds 64 x 64: drawn again as
  // large as shown it is sharp; stuck at 64 it is not.
  scene.artwork[kSlotBoxFront] = {"cover.svg", 600, 800, true, 64, 64, false};
  const auto front = [&] {
    for (const FaceCheck& check : CheckArtwork(scene, 1280, 960)) {
      if (check.slot == kSlotBoxFront) return check;
    }
    ADD_FAILURE() << "no front";
    return FaceCheck{};
  };
  const FaceCheck drawable = front();
  EXPECT_NEAR(drawable.stretch, 1.0, 1e-9);
  EXPECT_TRUE(drawable.warnings.empty());
  scene.artwork[kSlotBoxFront].stuck = true;
  const FaceCheck stuck = front();
  EXPECT_EQ(stuck.artworkWidth, 64);
  EXPECT_GT(stuck.stretch, 3.0) << "shown hundreds of pixels wide from 64";
  EXPECT_NEAR(stuck.stretch, std::max(stuck.shownWidth, stuck.shownHeight) / 64.0, 1e-6);
  ASSERT_FALSE(stuck.warnings.empty());
}
