#pragma once

#include "app/controllers/Clock.h"

#include <QElapsedTimer>

namespace parlova::app {

// The real clocks: the system's monotonic clock and precise Qt timers.
class SystemClock final : public Clock {
public:
    SystemClock();

    double monotonic() const override;
    QDateTime now() const override;
    std::unique_ptr<Timer> after(double seconds, std::function<void()> action) override;

private:
    QElapsedTimer m_elapsed;
};

} // namespace parlova::app
