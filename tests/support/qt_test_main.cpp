// gtest main for test programs that need a Qt application object.
#include <gtest/gtest.h>

#ifdef KESTROVA_TEST_WIDGETS
#include <QApplication>
#endif
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest does so at build time) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
#ifdef KESTROVA_TEST_HELPER
  // The picture helper lies in the build's program folder, not beside us.
  if (!qEnvironmentVariableIsSet("KESTROVA_METAFILE_HELPER")) qputenv("KESTROVA_METAFILE_HELPER", KESTROVA_TEST_HELPER);
#endif
  // Keep the user's own profile out of reach of the tests.
  QTemporaryDir settingsDir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
#ifdef KESTROVA_TEST_WIDGETS
  QApplication app(argc, argv);
#else
  QCoreApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
