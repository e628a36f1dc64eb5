#pragma once

#include "app/controllers/Clock.h"

#include <QList>
#include <QTimeZone>

#include <memory>

namespace parlova::app {

// A clock for tests: time stands still until advance() moves both clocks
// forward, firing every due timer in order of its due time.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC));

    double monotonic() const override { return m_monotonic; }
    QDateTime now() const override;
    std::unique_ptr<Timer> after(double seconds, std::function<void()> action) override;

    // Moves time forward, firing timers as their time comes (timers set by
    // a firing action fire too when they fall due within the same advance).
    void advance(double seconds);
    // Timers set and not yet fired nor cancelled.
    int pendingTimers() const;

private:
    struct Entry {
        double due = 0;
        quint64 order = 0;
        std::function<void()> action;
    };
    class Handle;

    std::shared_ptr<Entry> nextDue(double until) const;

    double m_monotonic = 1000.0;
    QDateTime m_start;
    quint64 m_order = 0;
    QList<std::weak_ptr<Entry>> m_entries;
};

} // namespace parlova::app
