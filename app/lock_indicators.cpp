#include "lock_indicators.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>


namespace {

QLabel* pane(QStatusBar* bar, const char* text) {
  auto* label = new QLabel(bar);
  label->setObjectName(text);
  label->setAccessibleName(text);
  label->setAlignment(Qt::AlignCenter);
  // As wide as its text whether the lock is on or off, so nothing shifts.
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString(text) + "  "));
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bar->addPermanentWidget(label);
  return label;
}

// The X server's lock indicator bits, when there is an X server.
bool readIndicatorState(unsigned int* state);

}  // namespace

LockIndicators::LockIndicators(QStatusBar* bar) : QObject(bar) {
  caps_ = pane(bar, "CAP");
  num_ = pane(bar, "NUM");
  scroll_ = pane(bar, "SCRL");
  // Keys pressed anywhere in the program may change a lock.
  if (qApp) qApp->installEventFilter(this);
  refresh();
}

void LockIndicators::refresh() {
  unsigned int state = 0;
  known_ = readIndicatorState(&state);
  // The core keyboard's first three indicators are Caps, Num and Scroll Lock.
  caps_->setText(known_ && (state & 0x1) ? "CAP" : "");
  num_->setText(known_ && (state & 0x2) ? "NUM" : "");
  scroll_->setText(known_ && (state & 0x4) ? "SCRL" : "");
}

bool LockIndicators::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyRelease:
    case QEvent::ApplicationActivate:
    case QEvent::WindowActivate:
      // A key event visits every widget up its parent chain: look once, at
      // its first receiver (the focus widget, or the window when none has it).
      if (watched == qApp || watched == QApplication::focusWidget() ||
          (!QApplication::focusWidget() && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())) {
        refresh();
      }
      break;
    default: break;
  }
  return QObject::eventFilter(watched, event);
}

// Last, as Xlib's macros (KeyPress, Success...) would clash with Qt's names.
#include <X11/XKBlib.h>

namespace {

bool readIndicatorState(unsigned int* state) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  return display && XkbGetIndicatorState(display, XkbUseCoreKbd, state) == Success;
}

}  // namespace
