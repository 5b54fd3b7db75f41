#pragma once
#include <QObject>

class QLabel;
class QStatusBar;

// The status bar's CAP, NUM and SCRL panes. Each shows its text while its
// lock is on, as the X server reports it; without X (another platform, the
// offscreen one) the lock state is unknown and the panes stay blank.
class LockIndicators : public QObject {
  Q_OBJECT
 public:
  explicit LockIndicators(QStatusBar* bar);

  void refresh();
  bool known() const { return known_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* caps_ = nullptr;
  QLabel* num_ = nullptr;
  QLabel* scroll_ = nullptr;
  bool known_ = false;
};
