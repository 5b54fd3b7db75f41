// The program's CPU time over a stretch of wall time: once the intro's sample
// has reached its held last frame (nothing moves, so little should be
// drawn), and while a sample plays. Needs a display: run it under xvfb-run.
// The stretch is 30 s unless KESTROVA_IDLE_SECONDS says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include <sys/resource.h>

#include "animation/keyframes.h"
#include "app/application.h"
#include "app/intro_dialog.h"
#include "app/main_window.h"
#include "app/shot_view.h"
#include "bench/started_program.h"

using namespace kestrova;

namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The event loop as the program runs it, for `ms`: it sleeps when idle.
void runEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

int stretchMs() {
  const QByteArray seconds = qgetenv("KESTROVA_IDLE_SECONDS");
  return (seconds.isEmpty() ? 30 : seconds.toInt()) * 1000;
}

struct Program : bench::StartedProgram {
  Program() : StartedProgram("True") {}
};

void cpuOverTheStretch(benchmark::State& state, bool ended) {
  for (auto _ : state) {
    Program p;
    QElapsedTimer wait;
    wait.start();
    auto atTheEnd = [&] { return p.view->scene().bakedFrameCount > 0 &&
                                 p.view->scene().currentFrame == p.view->scene().bakedFrameCount - 1; };
    if (ended) {
      while (!atTheEnd() && wait.elapsed() < 120000) runEvents(50);
    } else {
      while (p.view->framesDrawn() < 3 && wait.elapsed() < 10000) runEvents(50);
      // An animation longer than the stretch: it plays throughout.
      SceneState& scene = p.view->scene();
      ClearAll(scene);
      AddKey(scene, 0);
      scene.rotation[1] += 720;
      AddKey(scene, 9999);
      Play(scene);
      p.view->requestFrame();
    }
    const long long frames = p.view->framesDrawn();
    const double before = cpuSeconds();
    runEvents(stretchMs());
    state.counters["cpu_s"] = cpuSeconds() - before;
    state.counters["frames"] = static_cast<double>(p.view->framesDrawn() - frames);
    state.counters["playing_to_the_end"] = ended ? 0 : !atTheEnd();
  }
}

}  // namespace

BENCHMARK_CAPTURE(cpuOverTheStretch, introEnded, true)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(cpuOverTheStretch, samplePlaying, false)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  Application::UseProfileNames();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
