#include "relay/Clock.h"

#include <QDateTime>

namespace parlova::relay {

qint64 Clock::now() const {
    return QDateTime::currentSecsSinceEpoch() + m_offset.load();
}

void Clock::advance(qint64 seconds) {
    if (seconds > 0)
        m_offset.fetch_add(seconds);
}

} // namespace parlova::relay
