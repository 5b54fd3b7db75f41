// A frame read back from GL and written as BMP: which row comes first.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "formats/bmp_export.h"
#include "render/headless_context.h"
#include "render/read_framebuffer.h"

using namespace kestrova;

TEST(FrameCapture, BottomRowOfTheViewComesFirstInBlueGreenRed) {
  HeadlessContext context(8, 4);
  ASSERT_TRUE(context.isValid()) << context.error();
  // Bottom half red, top half blue.
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 8, 2);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glScissor(0, 2, 8, 2);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);

  const CapturedFrame frame = CaptureFromRgba(ReadFramebuffer(8, 4));
  // First stored row: the view's bottom, red, stored as B, G, R.
  EXPECT_EQ(frame.bgr[0], 0);
  EXPECT_EQ(frame.bgr[2], 255);
  // Last stored row: the view's top, blue.
  const size_t last = 3u * 8u * 3u;
  EXPECT_EQ(frame.bgr[last], 255);
  EXPECT_EQ(frame.bgr[last + 2], 0);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.path().toStdString() + "/shot.bmp";
  std::string error;
  ASSERT_TRUE(WriteBmpFile(path, frame, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes.size(), 54u + 8u * 4u * 3u);
  EXPECT_EQ(bytes[54 + 2], 255);  // the bottom-left pixel's red
}
