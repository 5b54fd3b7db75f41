// kestrova-monkey: uses the real window as a careless user would, for a
// given time: random clicks and drags anywhere in its windows, wheel turns,
// keys, menu commands and window sizes. Everything it does is drawn from one
// seed and written to a log, one action a line, flushed as it goes, so a run
// that ends in a crash shows what led there, and --replay plays a log again.
// Dialogs the program asks through its platform (files, colours, questions)
// get random answers: a sample project, a picture, a new file, or Cancel;
// they are logged too, so a replay answers alike. A replay plays its whole
// log unless --seconds is given.
//
//   kestrova-monkey [--seed N] [--seconds S] [--log FILE] [--replay FILE] [--look studio]
//
// Exit status 0 when the window was still drawing at the end.
#include <QAction>
#include <QClipboard>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "app/face_watcher.h"
#include "app/main_window.h"
#include "app/shot_view.h"
#include "tests/support/scripted_platform.h"

namespace fs = std::filesystem;

namespace {

// One thing done: what, to which window (by its place among the visible
// top-level windows), where, with what.
struct Action {
  // click, drag, wheel, key, menu, resize; or an answer queued for the
  // dialogs to come: file (`text`, in the run's folder, empty for Cancel),
  // question (`value` 1 for Yes), colour (`value`)
  QString kind;
  QString text;
  int window = 0;
  double x = 0, y = 0, x2 = 0, y2 = 0;  // as fractions of the window
  int value = 0;  // button, key, menu item, wheel step

  bool answer() const { return kind == "file" || kind == "question" || kind == "colour"; }
  QString line() const {
    if (kind == "file") return "file " + text;
    if (answer()) return QString("%1 %2").arg(kind).arg(value);
    return QString("%1 %2 %3 %4 %5 %6 %7")
        .arg(kind)
        .arg(window)
        .arg(x, 0, 'f', 4)
        .arg(y, 0, 'f', 4)
        .arg(x2, 0, 'f', 4)
        .arg(y2, 0, 'f', 4)
        .arg(value);
  }
  static Action parse(const QString& text) {
    const QStringList f = text.split(' ');
    Action a;
    if (f.size() >= 1 && f[0] == "file") {
      a.kind = f[0];
      a.text = text.mid(5);
      return a;
    }
    if (f.size() == 2 && (f[0] == "question" || f[0] == "colour")) {
      a.kind = f[0];
      a.value = static_cast<int>(f[1].toUInt());
      return a;
    }
    if (f.size() < 7) return a;
    a.kind = f[0];
    a.window = f[1].toInt();
    a.x = f[2].toDouble();
    a.y = f[3].toDouble();
    a.x2 = f[4].toDouble();
    a.y2 = f[5].toDouble();
    a.value = f[6].toInt();
    return a;
  }
};

const Qt::Key kKeys[] = {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Tab,   Qt::Key_Backtab, Qt::Key_Space,
                         Qt::Key_Up,     Qt::Key_Down,   Qt::Key_Left,  Qt::Key_Right,   Qt::Key_F4,
                         Qt::Key_Home,   Qt::Key_End,    Qt::Key_PageUp, Qt::Key_5,      Qt::Key_Minus,
                         Qt::Key_Delete, Qt::Key_Backspace};
constexpr int kLongestWaitMs = 60000;

const Qt::MouseButton kButtons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};

class Monkey : public QObject {
 public:
  Monkey(Application& app, kestrova::test::ScriptedPlatform& platform, const QString& folder, uint32_t seed,
         int seconds, QFile* log, std::vector<Action> replay)
      : app_(app), platform_(platform), folder_(folder), random_(seed), seconds_(seconds), log_(log),
        replay_(std::move(replay)) {
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
    clock_.start();
    timer_.start(20);
  }
  int actions() const { return done_; }
  bool drawing() const { return drawing_; }
  bool finished() const { return finished_; }

 private:
  double unit() { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }
  int below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::vector<QWidget*> windows() const {
    // A modal dialog blocks the others, as it does for a user.
    if (QWidget* modal = QApplication::activeModalWidget()) return {modal};
    std::vector<QWidget*> shown;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->isVisible() && !top->isMinimized() && top->width() > 0 && top->height() > 0) shown.push_back(top);
    }
    // Qt lists its windows in no fixed order (a set of pointers): a replay
    // must pick the same window by the same number.
    std::stable_sort(shown.begin(), shown.end(), [this](QWidget* a, QWidget* b) {
      auto key = [this](QWidget* w) {
        return std::make_tuple(w != app_.mainWindow(), QString(w->metaObject()->className()), w->windowTitle(),
                               w->objectName());
      };
      return key(a) < key(b);
    });
    return shown;
  }

  std::vector<QAction*> commands() const {
    std::vector<QAction*> found;
    MainWindow* window = app_.mainWindow();
    if (!window || !window->menuBar() || QApplication::activeModalWidget()) return found;
    for (QAction* menu : window->menuBar()->actions()) {
      if (!menu->menu()) continue;
      for (QAction* item : menu->menu()->actions()) {
        // Exit ends the run; everything else is fair.
        if (!item->isSeparator() && item->isEnabled() && item->objectName() != "57665") found.push_back(item);
      }
    }
    return found;
  }

  Action invent() {
    Action a;
    const int pick = below(100);
    a.window = below(static_cast<int>(windows().size()));
    a.x = unit();
    a.y = unit();
    a.x2 = unit();
    a.y2 = unit();
    if (pick < 35) {
      a.kind = "click";
      a.value = below(4);
    } else if (pick < 55) {
      a.kind = "drag";
      a.value = below(4);
    } else if (pick < 62) {
      a.kind = "wheel";
      a.value = below(2) ? 120 : -120;
    } else if (pick < 82) {
      a.kind = "key";
      a.value = below(static_cast<int>(std::size(kKeys)));
    } else if (pick < 97) {
      a.kind = "menu";
      a.value = below(64);
    } else {
      a.kind = "resize";
    }
    return a;
  }

  // Answers for whatever the next action may ask: a sample, a picture, a
  // new file in the run's folder, or Cancel. Each is logged as it is
  // queued, so a replay gives the dialogs the same answers.
  void refillAnswers() {
    const std::vector<QString> choices = {
        "",
        "Sequences/04 Cube.TSMR",
        "Boxes/standard-box-front.jpg",
        "Mug/MugTexture.jpg",
        "out/shot" + QString::number(below(3)) + ".png",
        "out/anim.gif",
        "out/project.TSMR",
    };
    while (platform_.fileAnswers.size() < 4) queue({"file", choices[static_cast<size_t>(below(7))]});
    while (platform_.answers.size() < 4) queue({"question", {}, 0, 0, 0, 0, 0, below(2)});
    while (platform_.colorAnswers.size() < 2) {
      queue({"colour", {}, 0, 0, 0, 0, 0, static_cast<int>(static_cast<uint32_t>(random_()) & 0xFFFFFF)});
    }
  }

  void queue(const Action& answer) {
    if (answer.kind == "file") {
      platform_.fileAnswers.push_back(answer.text.isEmpty() ? std::nullopt
                                                            : std::optional<std::string>(
                                                                  (folder_ + "/" + answer.text).toStdString()));
    } else if (answer.kind == "question") {
      platform_.answers.push_back(answer.value ? kestrova::MessageAnswer::Yes : kestrova::MessageAnswer::No);
    } else {
      platform_.colorAnswers.push_back(static_cast<uint32_t>(answer.value));
    }
    record(answer);
  }

  void record(const Action& entry) {
    if (!log_) return;
    log_->write((entry.line() + "\n").toUtf8());
    log_->flush();
  }

  void perform(const Action& a) {
    // Text a drag selected becomes the X selection, which a middle click
    // pastes; the X server is the run's and its replay's alike, and what
    // it holds when is the machine's timing: each action starts without.
    if (QApplication::clipboard()->supportsSelection()) QApplication::clipboard()->clear(QClipboard::Selection);
    const std::vector<QWidget*> shown = windows();
    if (shown.empty()) return;
    QWidget* window = shown[static_cast<size_t>(a.window) % shown.size()];
    const QPoint at(static_cast<int>(a.x * (window->width() - 1)), static_cast<int>(a.y * (window->height() - 1)));
    const QPoint to(static_cast<int>(a.x2 * (window->width() - 1)), static_cast<int>(a.y2 * (window->height() - 1)));
    QWidget* target = window->childAt(at) ? window->childAt(at) : window;
    const QPoint local = target->mapFrom(window, at);
    const Qt::MouseButton button = kButtons[static_cast<size_t>(a.value) % std::size(kButtons)];
    if (a.kind == "click") {
      QTest::mouseClick(target, button, Qt::NoModifier, local);
    } else if (a.kind == "drag") {
      if (qEnvironmentVariableIsSet("KESTROVA_MONKEY_TRACE")) {
        if (auto* menu = qobject_cast<QMenu*>(target)) {
          QAction* under = menu->actionAt(target->mapFrom(window, to));
          std::fprintf(stderr, "  drag in menu %s to %s\n", qPrintable(menu->title()), under ? qPrintable(under->text()) : "-");
        }
      }
      QTest::mousePress(target, button, Qt::NoModifier, local);
      for (int s = 1; s <= 4; ++s) {
        QTest::mouseMove(target, local + (target->mapFrom(window, to) - local) * s / 4);
      }
      QTest::mouseRelease(target, button, Qt::NoModifier, target->mapFrom(window, to));
    } else if (a.kind == "wheel") {
      QWheelEvent wheel(local, target->mapToGlobal(local), QPoint(), QPoint(0, a.value), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(target, &wheel);
    } else if (a.kind == "key") {
      // The chosen window's own focus, not the desktop's active window:
      // which window the window system activates is a matter of timing.
      QWidget* focus = window->focusWidget() ? window->focusWidget() : window;
      QTest::keyClick(focus, kKeys[static_cast<size_t>(a.value) % std::size(kKeys)]);
    } else if (a.kind == "menu") {
      const std::vector<QAction*> all = commands();
      if (!all.empty()) all[static_cast<size_t>(a.value) % all.size()]->trigger();
    } else if (a.kind == "resize") {
      if (MainWindow* main = app_.mainWindow()) main->resize(240 + static_cast<int>(a.x * 900), 180 + static_cast<int>(a.y * 700));
    }
  }

  // Work that runs on its own clock: an export (its progress shows once
  // it looks long, and its ticks let the monkey in), or a changed file's
  // reload waiting for the file to be quiet. What the monkey would do in
  // the meantime depends on the machine's speed, so it waits, as a user
  // watching a progress bar would; a replay then meets the same program.
  const char* busy() const {
    if (qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) return "an export";
    // Inside an action, in a loop that action spun without a dialog of its
    // own (a picture drawn by the helper, a page fetched): its length is
    // the machine's, not the log's.
    if (!modalAtStart_.empty() && QApplication::activeModalWidget() == modalAtStart_.back() &&
        !QApplication::activePopupWidget()) {
      return "an action's own work";
    }
    MainWindow* window = app_.mainWindow();
    if (!window) return nullptr;
    const auto watchers = window->findChildren<FaceWatcher*>();
    if (std::any_of(watchers.begin(), watchers.end(), [](const FaceWatcher* w) { return w->settling(); })) {
      return "a changed file's reload";
    }
    return nullptr;
  }

  void step() {
    // Waiting has its end: work that never ends is a finding, said on the
    // way, and the monkey goes on.
    if (const char* what = busy(); what && (!waiting_.isValid() || waiting_.elapsed() < kLongestWaitMs)) {
      if (!waiting_.isValid()) waiting_.start();
      return;
    } else if (what) {
      std::fprintf(stderr, "kestrova-monkey: still waiting for %s after %d s, after action %d\n", what,
                   kLongestWaitMs / 1000, done_);
    }
    waiting_.invalidate();
    // An action that opens a modal dialog runs that dialog's loop; this
    // timer fires on inside it (each action runs from a timer of its own),
    // so the monkey goes on in the dialog, a few dialogs deep at most.
    if (depth_ > 3) {
      // A popup (a context menu) runs a loop of its own: it goes first.
      if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
      } else if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
      }
      return;
    }
    // A replay plays its whole log, unless a time is given.
    const bool late = (replay_.empty() || seconds_ > 0) && clock_.elapsed() > std::max(seconds_, 0) * 1000LL;
    if (late || (!replay_.empty() && next_ >= replay_.size())) {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();  // its loop ends, and the action that opened it
      } else if (depth_ == 0) {
        timer_.stop();
        // Still alive: the window draws a fresh frame when asked.
        if (ShotView* view = Application::ActiveView()) {
          const long long before = view->framesDrawn();
          view->requestFrame();
          drawing_ = QTest::qWaitFor([&] { return view->framesDrawn() > before; }, 5000);
          if (!drawing_) {
            // Why not: what a fault hunt asks first.
            QWidget* top = view->window();
            std::fprintf(stderr,
                         "kestrova-monkey: the view (%dx%d, %s) in %s (%dx%d, %s%s, state %d) drew no frame\n",
                         view->width(), view->height(), view->isVisible() ? "visible" : "hidden",
                         top->metaObject()->className(), top->width(), top->height(),
                         top->isVisible() ? "visible" : "hidden", top->isMinimized() ? ", minimised" : "",
                         static_cast<int>(top->windowState()));
          }
        }
        finished_ = true;
        QApplication::quit();
      }
      return;
    }
    if (pending_) return;  // the last action has not started yet
    // What the last action asked of the view (a face's picture is asked for
    // from its drawing) happens now, before the next action, however busy
    // the machine: a replay then meets the same dialogs in the same order.
    if (ShotView* view = Application::ActiveView()) view->repaint();
    if (replay_.empty()) refillAnswers();
    // A replay queues the answers logged before this action, as the run
    // had them queued: a dialog asked again and again (a name with the
    // wrong ending) runs out of answers at the same point.
    while (!replay_.empty() && next_ < replay_.size() && replay_[next_].answer()) queue(replay_[next_++]);
    if (!replay_.empty() && next_ >= replay_.size()) return;
    const Action action = replay_.empty() ? invent() : replay_[next_++];
    record(action);
    if (qEnvironmentVariableIsSet("KESTROVA_MONKEY_TRACE")) {
      QWidget* modal = QApplication::activeModalWidget();
      QString shown;
      for (QWidget* w : windows()) shown += QString(" %1:%2").arg(w->metaObject()->className(), w->windowTitle());
      std::fprintf(stderr, "%d %s w%zu m%zu d%d %s |%s\n", done_, qPrintable(action.line()), windows().size(),
                   platform_.messages.size(), depth_, modal ? modal->metaObject()->className() : "-",
                   qPrintable(shown));
    }
    ++done_;
    pending_ = true;
    QTimer::singleShot(0, this, [this, action] {
      pending_ = false;
      ++depth_;
      modalAtStart_.push_back(QApplication::activeModalWidget());
      perform(action);
      modalAtStart_.pop_back();
      --depth_;
    });
  }

  Application& app_;
  kestrova::test::ScriptedPlatform& platform_;
  QString folder_;
  std::mt19937 random_;
  int seconds_;
  QFile* log_;
  std::vector<Action> replay_;
  size_t next_ = 0;
  QTimer timer_;
  QElapsedTimer clock_;
  QElapsedTimer waiting_;
  std::vector<QWidget*> modalAtStart_;  // each running action's: the dialog it was done in
  int depth_ = 0;
  bool pending_ = false;
  bool drawing_ = false;
  bool finished_ = false;  // ended by the monkey, not by the program
  int done_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  uint32_t seed = static_cast<uint32_t>(QDateTime::currentMSecsSinceEpoch());
  int seconds = -1;  // 60 for a run of its own; a replay's whole log
  QString logPath;
  QString replayPath;
  bool studio = false;  // the window starts in the studio look (give it to the replay too)
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seed") seed = static_cast<uint32_t>(std::stoul(argv[i + 1]));
    else if (option == "--seconds") seconds = std::stoi(argv[i + 1]);
    else if (option == "--log") logPath = argv[i + 1];
    else if (option == "--replay") replayPath = argv[i + 1];
    else if (option == "--look" && std::string(argv[i + 1]) == "studio") studio = true;
    else {
      std::fprintf(stderr, "usage: kestrova-monkey [--seed N] [--seconds S] [--log FILE] [--replay FILE] [--look studio]\n");
      return 2;
    }
  }
  // The picture helper lies in the build's program folder, not beside us.
  if (!qEnvironmentVariableIsSet("KESTROVA_METAFILE_HELPER")) {
    qputenv("KESTROVA_METAFILE_HELPER", KESTROVA_PROGRAM_DIR "/kestrova-metafile");
  }
  // The user's own settings stay out of reach.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QApplication qt(argc, argv);
  // A drag over a message's selected text would start a drag and drop,
  // whose loop waits for a real button's release that synthetic events
  // never send: the run would stop there. No drag of the program's own
  // starts that way (it has none).
  QApplication::setStartDragDistance(1 << 20);
  QTemporaryDir folder;
  for (const char* assets : {"Boxes", "Books", "Mug", "Sequences"}) {
    fs::copy(fs::path(KESTROVA_PROGRAM_DIR) / assets, fs::path(folder.path().toStdString()) / assets,
             fs::copy_options::recursive);
  }
  fs::create_directory(fs::path(folder.path().toStdString()) / "out");
  std::ofstream(fs::path(folder.path().toStdString()) / "Flag.txt") << "False";
  std::vector<Action> replay;
  if (!replayPath.isEmpty()) {
    QFile in(replayPath);
    if (!in.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "kestrova-monkey: cannot read %s\n", qPrintable(replayPath));
      return 2;
    }
    QTextStream lines(&in);
    while (!lines.atEnd()) {
      const QString line = lines.readLine();
      if (!line.isEmpty() && !line.startsWith('#')) replay.push_back(Action::parse(line));
    }
  }
  QFile log(logPath);
  if (!logPath.isEmpty()) {
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      std::fprintf(stderr, "kestrova-monkey: cannot write %s\n", qPrintable(logPath));
      return 2;
    }
    log.write(QString("# kestrova-monkey --seed %1 --seconds %2%3\n")
                  .arg(seed)
                  .arg(seconds < 0 ? 60 : seconds)
                  .arg(studio ? " --look studio" : "")
                  .toUtf8());
  }
  if (replay.empty() && seconds < 0) seconds = 60;
  if (replay.empty()) {
    std::printf("kestrova-monkey: seed %u, %d s\n", seed, seconds);
  } else {
    std::printf("kestrova-monkey: replaying %zu lines\n", replay.size());
  }
  std::fflush(stdout);

  kestrova::test::ScriptedPlatform platform;
  Application::UseProfileNames();
  if (studio) QSettings().setValue("Studio Look/On", true);
  auto app = std::make_unique<Application>(platform, folder.path());
  if (!app->InitInstance({})) {
    std::fprintf(stderr, "kestrova-monkey: the program did not start\n");
    return 1;
  }
  app->setFramesOnRequestOnly(true);
  // Exit ends the run however it is reached (a drag down the File menu
  // chose it once, and the run read as a window that stopped drawing).
  if (MainWindow* window = app->mainWindow()) {
    for (QAction* exit : window->findChildren<QAction*>("57665")) exit->setVisible(false);
  }
  Monkey monkey(*app, platform, folder.path(), seed, seconds, logPath.isEmpty() ? nullptr : &log, replay);
  QApplication::exec();

  const bool drawing = monkey.drawing();
  if (!monkey.finished()) std::fprintf(stderr, "kestrova-monkey: the program ended before the monkey did\n");
  std::printf("kestrova-monkey: %d actions, %zu messages shown, the window %s\n", monkey.actions(),
              platform.messages.size(), drawing ? "still draws" : "no longer draws");
  // What the program told the user, by its first line: a dead end or a
  // message that should not have come shows here.
  std::map<std::string, int> said;
  // The run's own folder, which differs from run to run, as "RUN".
  const std::string runFolder = folder.path().toStdString();
  for (const auto& message : platform.messages) {
    std::string line = message.text.substr(0, message.text.find('\n'));
    for (size_t at = line.find(runFolder); at != std::string::npos; at = line.find(runFolder, at)) {
      line.replace(at, runFolder.size(), "RUN");
    }
    ++said[line];
  }
  for (const auto& [text, times] : said) std::printf("  %4d x %s\n", times, text.c_str());
  std::fflush(stdout);
  return drawing ? 0 : 1;
}
