#include "app/fake/FakeClock.h"

#include <QTimeZone>

#include <algorithm>

namespace parlova::app {

// Owns its entry: the clock only sees it while the handle lives.
class FakeClock::Handle final : public Clock::Timer {
public:
    explicit Handle(std::shared_ptr<Entry> entry)
        : m_entry(std::move(entry)) {}

private:
    std::shared_ptr<Entry> m_entry;
};

FakeClock::FakeClock(QDateTime now)
    : m_start(std::move(now)) {}

QDateTime FakeClock::now() const {
    return m_start.addMSecs(static_cast<qint64>((m_monotonic - 1000.0) * 1000.0));
}

std::unique_ptr<Clock::Timer> FakeClock::after(double seconds, std::function<void()> action) {
    auto entry = std::make_shared<Entry>(
        Entry{m_monotonic + std::max(seconds, 0.0), ++m_order, std::move(action)});
    m_entries.append(entry);
    return std::make_unique<Handle>(std::move(entry));
}

std::shared_ptr<FakeClock::Entry> FakeClock::nextDue(double until) const {
    std::shared_ptr<Entry> best;
    for (const std::weak_ptr<Entry>& weak : m_entries) {
        const std::shared_ptr<Entry> entry = weak.lock();
        if (!entry || !entry->action || entry->due > until)
            continue;
        if (!best || entry->due < best->due ||
            (entry->due == best->due && entry->order < best->order))
            best = entry;
    }
    return best;
}

void FakeClock::advance(double seconds) {
    const double until = m_monotonic + seconds;
    while (const std::shared_ptr<Entry> entry = nextDue(until)) {
        m_monotonic = std::max(m_monotonic, entry->due);
        // Fired once: the action may well destroy the handle that owns it.
        const std::function<void()> action = std::exchange(entry->action, nullptr);
        action();
    }
    m_monotonic = until;
    m_entries.removeIf([](const std::weak_ptr<Entry>& weak) {
        const std::shared_ptr<Entry> entry = weak.lock();
        return !entry || !entry->action;
    });
}

int FakeClock::pendingTimers() const {
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const auto& weak) {
        const std::shared_ptr<Entry> entry = weak.lock();
        return entry && entry->action;
    }));
}

} // namespace parlova::app
