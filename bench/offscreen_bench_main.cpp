// Benchmark main for programs that decode or draw pictures: a GUI
// application on the offscreen platform, no display needed.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The picture helper lies in the build's program folder, not beside us.
  if (!qEnvironmentVariableIsSet("KESTROVA_METAFILE_HELPER")) {
    qputenv("KESTROVA_METAFILE_HELPER", KESTROVA_PROGRAM_DIR "/kestrova-metafile");
  }
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
