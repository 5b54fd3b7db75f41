// A drag on the real view with the control panel open: the cost of one mouse
// event through the view's handlers (the scene edit and the panel's mirror),
// and the frames drawn per second while the drag goes on at 1024 x 720.
// Needs a display: run it under xvfb-run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <algorithm>
#include <memory>
#include <vector>

#include "animation/keyframes.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/shot_commands.h"
#include "app/shot_view.h"
#include "scene/scene_state.h"
#include "bench/started_program.h"

using namespace kestrova;

namespace {

// The program started from a copy of the build's program folder, the panel
// open, the start-up sample stopped.
struct RunningProgram : bench::StartedProgram {
  RunningProgram() : StartedProgram("False") {
    app->mainWindow()->resize(1024, 720);
    QElapsedTimer wait;
    wait.start();
    while (view->framesDrawn() < 3 && wait.elapsed() < 10000) QApplication::processEvents();
    ClearAll(view->scene());
    // The sample stops wherever its animation has got to, which depends on
    // the machine's speed: the box is put back in the default pose, or each
    // run would drag a box of another size on the screen.
    const SceneState fresh;
    view->scene().rotation = fresh.rotation;
    view->scene().pan = fresh.pan;
    view->scene().scale = fresh.scale;
    view->scene().spotLight = fresh.spotLight;
    app->mainWindow()->commands()->OnControlPanel();
    // One frame a move: the frame a change owes after its own comes off a
    // timer, and whether it fell inside a move's wait or not split runs
    // into two speeds.
    app->setFramesOnRequestOnly(true);
    QApplication::processEvents();
  }

  void send(QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, view->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  }
};

// Started on first use and ended before the application object goes.
std::unique_ptr<RunningProgram> running;

RunningProgram& program() {
  if (!running) running = std::make_unique<RunningProgram>();
  return *running;
}

// Press, 200 moves, release: the handlers alone, no frame in between.
void dragEvents(benchmark::State& state) {
  RunningProgram& p = program();
  for (auto _ : state) {
    p.send(QEvent::MouseButtonPress, {300, 300});
    for (int i = 1; i <= 200; ++i) p.send(QEvent::MouseMove, {300 + (i % 40), 300 + (i % 25)});
    p.send(QEvent::MouseButtonRelease, {300, 300});
  }
  state.SetItemsProcessed(state.iterations() * 202);
  state.counters["time_per_event"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 202, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A move, then the event loop until the view has drawn the frame it asked for.
// Argument 1: with the studio floor (shadow and reflection) under the box;
// 2: in the studio look (its shadow on).
void framesWhileDragging(benchmark::State& state) {
  RunningProgram& p = program();
  p.view->scene().studioFloor.shadow = state.range(0) != 0;
  p.view->scene().studioFloor.reflection = state.range(0) == 1;
  p.view->scene().look.studio = state.range(0) == 2;
  p.send(QEvent::MouseButtonPress, {300, 300});
  int i = 0;
  for (auto _ : state) {
    const long long before = p.view->framesDrawn();
    p.send(QEvent::MouseMove, {300 + (++i % 40), 300});
    while (p.view->framesDrawn() == before) QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  p.send(QEvent::MouseButtonRelease, {300, 300});
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Both looks in turns of ten frames, so a busy machine slows both alike:
// the studio look's frame rate as a share of the classic one's.
void studioShareWhileDragging(benchmark::State& state) {
  RunningProgram& p = program();
  SceneState& scene = p.view->scene();
  p.send(QEvent::MouseButtonPress, {300, 300});
  int i = 0;
  double seconds[2] = {0, 0};
  long long frames[2] = {0, 0};
  std::vector<double> shares;  // each turn's: a slow moment of the machine spoils one, not the figure
  for (auto _ : state) {
    double turn[2] = {0, 0};
    for (int look = 0; look < 2; ++look) {
      scene.look.studio = look == 1;
      scene.studioFloor.shadow = look == 1;
      scene.studioFloor.reflection = false;
      // The first frame of a turn pays for the change of look.
      const long long first = p.view->framesDrawn();
      p.send(QEvent::MouseMove, {300 + (++i % 40), 300});
      while (p.view->framesDrawn() == first) QApplication::processEvents(QEventLoop::AllEvents, 5);
      QElapsedTimer clock;
      clock.start();
      for (int f = 0; f < 10; ++f) {
        const long long before = p.view->framesDrawn();
        p.send(QEvent::MouseMove, {300 + (++i % 40), 300});
        while (p.view->framesDrawn() == before) QApplication::processEvents(QEventLoop::AllEvents, 5);
      }
      turn[look] = clock.nsecsElapsed() / 1e9;
      seconds[look] += turn[look];
      frames[look] += 10;
    }
    shares.push_back(turn[0] / turn[1]);
  }
  p.send(QEvent::MouseButtonRelease, {300, 300});
  scene.look.studio = false;
  scene.studioFloor.shadow = false;
  const double classic = frames[0] / seconds[0], studio = frames[1] / seconds[1];
  state.counters["classic_fps"] = classic;
  state.counters["studio_fps"] = studio;
  std::nth_element(shares.begin(), shares.begin() + static_cast<long>(shares.size() / 2), shares.end());
  state.counters["studio_share"] = shares[shares.size() / 2];
}

}  // namespace

BENCHMARK(dragEvents)->Unit(benchmark::kMicrosecond);
BENCHMARK(framesWhileDragging)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(studioShareWhileDragging)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  Application::UseProfileNames();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  running.reset();
  return 0;
}
