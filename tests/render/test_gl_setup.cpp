#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <memory>

#include "render/gl_extensions.h"
#include "render/classic/render_frame.h"
#include "render/read_framebuffer.h"
#include "render/scene_initialiser.h"
#include "tests/support/headless_fixture.h"

using namespace kestrova;

TEST(ExtensionLookup, WholeWordsOnly) {
  struct Case {
    const char* list;
    const char* name;
    bool found;
  };
  const Case cases[] = {
      {"WGL_ARB_multisample", "WGL_ARB_multisample", true},
      {"WGL_ARB_multisample WGL_EXT_swap_control", "WGL_ARB_multisample", true},
      {"WGL_EXT_swap_control WGL_ARB_multisample", "WGL_ARB_multisample", true},
      {"A WGL_ARB_multisample B", "WGL_ARB_multisample", true},
      {"WGL_ARB_multisample_extra", "WGL_ARB_multisample", false},
      {"XWGL_ARB_multisample", "WGL_ARB_multisample", false},
      // A false start followed by the real word later in the list.
      {"WGL_ARB_multisample2 WGL_ARB_multisample", "WGL_ARB_multisample", true},
      {"WGL_ARB_multisamplWGL_ARB_multisample", "WGL_ARB_multisample", false},
      {"", "WGL_ARB_multisample", false},
      {"WGL_ARB_multisample ", "WGL_ARB_multisample", true},
  };
  for (const Case& c : cases) EXPECT_EQ(HasExtension(c.list, c.name), c.found) << c.list;
}

TEST(ExtensionLookup, SampleCountFallsFromFourToTwoToNone) {
  EXPECT_EQ(ChooseSampleCount(16), 4);
  EXPECT_EQ(ChooseSampleCount(4), 4);
  EXPECT_EQ(ChooseSampleCount(3), 2);
  EXPECT_EQ(ChooseSampleCount(2), 2);
  EXPECT_EQ(ChooseSampleCount(1), 0);
  EXPECT_EQ(ChooseSampleCount(0), 0);
}

using ViewSize = test::HeadlessGL;

TEST_F(ViewSize, ZeroHeightProjectsAsOneAndIsStoredAsZero) {
  auto scene = std::make_unique<SceneState>();
  ApplyViewSize(*scene, 640, 0);
  EXPECT_EQ(scene->viewWidth, 640);
  EXPECT_EQ(scene->viewHeight, 0);
  GLdouble actual[16];
  glGetDoublev(GL_PROJECTION_MATRIX, actual);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 640.0, 0.5, 9980100.0);
  GLdouble expected[16];
  glGetDoublev(GL_PROJECTION_MATRIX, expected);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-9) << i;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[3], 1);
}

TEST_F(ViewSize, AspectIsTheQuotientOfTheSizes) {
  auto scene = std::make_unique<SceneState>();
  ApplyViewSize(*scene, 300, 200);
  GLdouble m[16];
  glGetDoublev(GL_PROJECTION_MATRIX, m);
  // m[0] = f / aspect and m[5] = f for gluPerspective.
  EXPECT_NEAR(m[5] / m[0], 1.5, 1e-6);  // the GL keeps floats
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

using FirstFrame = test::HeadlessGL;

TEST_F(FirstFrame, ClearsToTheInitialisersWhiteAndAsksForTheIntroOnce) {
  struct CountingHost : RenderHost {
    int introRequests = 0;
    void createIntroDialog() override { ++introRequests; }
  } host;
  auto scene = std::make_unique<SceneState>();
  InitialiseSceneDefaults(*scene);
  ApplyViewSize(*scene, kWidth, kHeight);
  RenderFrame(*scene, host);
  RenderFrame(*scene, host);
  EXPECT_EQ(host.introRequests, 1);
  EXPECT_EQ(scene->introShown, 2.0f);
  const RgbaImage image = ReadFramebuffer(kWidth, kHeight);
  const uint8_t* corner = image.at(0, 0);
  EXPECT_EQ(corner[0], 255);
  EXPECT_EQ(corner[1], 255);
  EXPECT_EQ(corner[2], 255);
}
