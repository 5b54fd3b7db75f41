#pragma once
#include <QSlider>
#include <vector>

// The animation timeline: a slider with a tick above and below it at each
// key's frame, as many ticks as keys (two keys on one frame are two ticks).
class TimelineSlider : public QSlider {
  Q_OBJECT
 public:
  explicit TimelineSlider(QWidget* parent = nullptr);

  void clearTicks();
  void addTick(int frame);
  const std::vector<int>& ticks() const { return ticks_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<int> ticks_;
};
