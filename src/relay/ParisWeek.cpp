#include "relay/ParisWeek.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace parlova::relay {

namespace {

const QTimeZone& paris() {
    static const QTimeZone zone("Europe/Paris");
    return zone;
}

} // namespace

qint64 ParisWeek::start(qint64 instant) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(instant, paris());
    const QDate monday = local.date().addDays(1 - local.date().dayOfWeek());
    return QDateTime(monday, QTime(0, 0), paris()).toSecsSinceEpoch();
}

qint64 ParisWeek::nextStart(qint64 instant) {
    const QDate monday = QDateTime::fromSecsSinceEpoch(start(instant), paris()).date().addDays(7);
    return QDateTime(monday, QTime(0, 0), paris()).toSecsSinceEpoch();
}

QString ParisWeek::isoDate(qint64 instant) {
    return QDateTime::fromSecsSinceEpoch(instant, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'"));
}

QString ParisWeek::frenchDay(qint64 instant) {
    const QDate date = QDateTime::fromSecsSinceEpoch(instant, paris()).date();
    const QLocale french(QLocale::French, QLocale::France);
    const QString day = date.day() == 1 ? QStringLiteral("1er") : QString::number(date.day());
    return QStringLiteral("%1 %2 %3")
        .arg(day, french.monthName(date.month()), QString::number(date.year()));
}

} // namespace parlova::relay
