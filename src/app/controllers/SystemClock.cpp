#include "app/controllers/SystemClock.h"

#include <QTimer>

#include <chrono>
#include <cmath>

namespace parlova::app {

namespace {

class QtTimer final : public Clock::Timer {
public:
    QtTimer(double seconds, std::function<void()> action) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(action));
        m_timer.start(std::chrono::milliseconds(std::llround(std::max(seconds, 0.0) * 1000.0)));
    }

private:
    QTimer m_timer;
};

} // namespace

SystemClock::SystemClock() {
    m_elapsed.start();
}

double SystemClock::monotonic() const {
    return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTimeUtc();
}

std::unique_ptr<Clock::Timer> SystemClock::after(double seconds, std::function<void()> action) {
    return std::make_unique<QtTimer>(seconds, std::move(action));
}

} // namespace parlova::app
