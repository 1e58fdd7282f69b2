#include "frontend/qt_timer.h"

namespace zr {

QtTimer::QtTimer(int intervalMs)
{
  timer_.setInterval(intervalMs);
  timer_.setSingleShot(false);
  // The 10 and 50 ms timers pace the link: coarse timers may drift by 5 %.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (handler_)
      handler_();
  });
}

} // namespace zr
