#pragma once
// The running program with the control panel at hand: helpers that find the
// panel's controls by id and drive them, and mouse events on the view.
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include "animation/keyframes.h"
#include "panel/control_panel.h"
#include "tests/gui/shell_fixture.h"

namespace kestrova::test {

class PanelTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    writeFlag("False");
    app_ = start();
    view_ = Application::ActiveView();
    // A still shot without keys: the start-up sample's playback and its
    // timeline would overwrite what the tests set.
    ClearAll(scene());
  }

  SceneState& scene() { return view_->scene(); }

  ControlPanel* openPanel() {
    commands()->OnControlPanel();
    ControlPanel* panel = view_->controlPanel();
    EXPECT_NE(panel, nullptr);
    if (panel) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(panel));
    }
    return panel;
  }

  template <typename T = QWidget>
  T* ctl(int controlId) {
    ControlPanel* panel = view_->controlPanel();
    EXPECT_NE(panel, nullptr);
    if (!panel) return nullptr;
    auto* widget = qobject_cast<T*>(panel->control(controlId));
    EXPECT_NE(widget, nullptr) << "control " << controlId;
    return widget;
  }

  void click(int controlId) {
    QWidget* widget = ctl(controlId);
    ASSERT_TRUE(widget->isVisible() && widget->isEnabled()) << "control " << controlId;
    QTest::mouseClick(widget, Qt::LeftButton);
  }

  // Replaces an edit's text by typing, as a user does.
  void type(int controlId, const QString& text) {
    auto* edit = ctl<QLineEdit>(controlId);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }

  void mouse(QEvent::Type type, Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers modifiers = {}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, view_->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                      modifiers);
    QApplication::sendEvent(view_, &event);
  }
  void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) { mouse(QEvent::MouseButtonPress, button, at); }
  void moveTo(QPoint at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {}) {
    mouse(QEvent::MouseMove, button, at, modifiers);
  }
  void release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    mouse(QEvent::MouseButtonRelease, button, at);
  }
  void drag(QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    press(from, button);
    moveTo(to, button);
    release(to, button);
  }

  std::unique_ptr<Application> app_;
  ShotView* view_ = nullptr;
};

}  // namespace kestrova::test
