#pragma once

#include <QString>
#include <QtGlobal>

namespace parlova::relay {

// The free offer's week: it starts every Monday at 00:00 in Paris, whatever
// the time zone of the machine, and daylight-saving changes included.
class ParisWeek {
public:
    ParisWeek() = delete;

    // The start of the week that holds the instant (seconds since the epoch).
    static qint64 start(qint64 instant);

    // The next start after the instant: when the week's count starts again.
    static qint64 nextStart(qint64 instant);

    // The relay's date form: "2026-01-05T00:00:00Z" (UTC, whole seconds).
    static QString isoDate(qint64 instant);

    // A date with the day and month in French for the pages, in Paris time
    // ("5 janvier 2026").
    static QString frenchDay(qint64 instant);
};

} // namespace parlova::relay
