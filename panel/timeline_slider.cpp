#include "timeline_slider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

TimelineSlider::TimelineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TimelineSlider::clearTicks() {
  ticks_.clear();
  update();
}

void TimelineSlider::addTick(int frame) {
  ticks_.push_back(frame);
  update();
}

void TimelineSlider::paintEvent(QPaintEvent* event) {
  QSlider::paintEvent(event);
  if (ticks_.empty()) return;
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  // The handle's centre travels from half a handle in from each end.
  const int span = groove.width() - handle.width();
  const int left = groove.x() + handle.width() / 2;
  QPainter painter(this);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  for (int frame : ticks_) {
    if (frame < minimum() || frame > maximum()) continue;
    const int x = left + QStyle::sliderPositionFromValue(minimum(), maximum(), frame, span);
    painter.drawLine(x, 0, x, 3);
    painter.drawLine(x, height() - 4, x, height() - 1);
  }
}
