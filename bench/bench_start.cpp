// How soon the window shows its first frame once the update question is
// answered, beside a bare Qt window with a GL view started from nothing.
// Each start is a fresh process (this program run again with --child), as a
// user's start is: no warm library, font or GL state. Needs a display: run
// it under xvfb-run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QOpenGLWidget>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/shot_view.h"
#include "bench/fresh_process.h"
#include "bench/started_program.h"

using namespace kestrova;

namespace {

void runEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The program as a user starts it, intro on; the clock starts when the
// update question is answered.
int childProgram(int argc, char** argv) {
  QApplication application(argc, argv);
  static QElapsedTimer sinceAnswer;
  struct TimedPlatform : test::ScriptedPlatform {
    MessageAnswer messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override {
      const MessageAnswer answer = ScriptedPlatform::messageBox(text, caption, buttons, icon);
      if (text.find("Updates") != std::string::npos) sinceAnswer.start();
      return answer;
    }
  };
  bench::StartedProgram program("True", std::make_unique<TimedPlatform>());
  while (program.view->framesDrawn() < 1) runEvents(1);
  std::printf("%.3f\n", static_cast<double>(sinceAnswer.nsecsElapsed()) / 1e6);
  return 0;
}

// The reference: a main window holding a GL view, from the application's
// start to its first frame.
int childBare(int argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication application(argc, argv);
  struct View : QOpenGLWidget {
    int frames = 0;
    void paintGL() override { ++frames; }
  };
  QMainWindow window;
  auto* view = new View;
  window.setCentralWidget(view);
  window.resize(1024, 720);
  window.show();
  while (view->frames < 1) runEvents(1);
  std::printf("%.3f\n", static_cast<double>(sinceStart.nsecsElapsed()) / 1e6);
  return 0;
}

std::string self;

void firstFrame(benchmark::State& state, const char* mode) {
  for (auto _ : state) {
    const bench::ProcessRun run = bench::RunProcess({self, mode});
    if (run.status != 0 || run.out.empty()) {
      state.SkipWithError("the child failed");
      break;
    }
    state.SetIterationTime(std::stod(run.out) / 1000.0);
  }
}

}  // namespace

BENCHMARK_CAPTURE(firstFrame, afterTheUpdateQuestion, "--child-program")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK_CAPTURE(firstFrame, bareGlWindow, "--child-bare")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child-program") == 0) return childProgram(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--child-bare") == 0) return childBare(argc, argv);
  self = "/proc/self/exe";
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length > 0) self.assign(path, static_cast<size_t>(length));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
