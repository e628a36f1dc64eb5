#pragma once

#include <QDateTime>

#include <functional>
#include <memory>

namespace parlova::app {

// Time as the controllers read it: a monotonic clock for durations and
// timers, the wall clock for the relay's dates. Tests swap in a clock they
// move forward by hand, so that no rule measured in seconds makes them wait.
class Clock {
public:
    // A pending call of after(); destroying it cancels the call.
    class Timer {
    public:
        virtual ~Timer() = default;

    protected:
        Timer() = default;
    };

    virtual ~Clock() = default;

    // Seconds on a monotonic clock; only differences mean anything.
    virtual double monotonic() const = 0;
    virtual QDateTime now() const = 0;

    // Calls the action once, on the calling thread, after that many seconds,
    // unless the timer is destroyed first.
    [[nodiscard]] virtual std::unique_ptr<Timer> after(double seconds,
                                                       std::function<void()> action) = 0;

protected:
    Clock() = default;
    Clock(const Clock&) = default;
    Clock& operator=(const Clock&) = default;
};

} // namespace parlova::app
