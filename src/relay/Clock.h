#pragma once

#include <QtGlobal>

#include <atomic>

namespace parlova::relay {

// The relay's time, in whole seconds since the Unix epoch (UTC). Every rule
// that depends on time (code validity, limits, weeks, subscriptions) reads it
// here, so that the control route can move time forward for expiry tests.
class Clock {
public:
    qint64 now() const;

    // Moves the relay's time forward (never backward) by the given seconds.
    void advance(qint64 seconds);

private:
    std::atomic<qint64> m_offset{0};
};

} // namespace parlova::relay
