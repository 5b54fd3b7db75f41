// Picture decoding draws text and SVG, which wants a GUI application; the
// offscreen platform needs no display.
#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef KESTROVA_TEST_HELPER
  // The picture helper lies in the build's program folder, not beside us.
  if (!qEnvironmentVariableIsSet("KESTROVA_METAFILE_HELPER")) qputenv("KESTROVA_METAFILE_HELPER", KESTROVA_TEST_HELPER);
#endif
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
