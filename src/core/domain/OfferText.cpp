#include "core/domain/OfferText.h"

#include "core/texts/Catalog.h"

#include <QLocale>

namespace parlova::core {

QTimeZone OfferText::timeZone() {
    static const QTimeZone paris = [] {
        QTimeZone zone(QByteArrayLiteral("Europe/Paris"));
        // Without the system's zone database, Central European Time is closer
        // to the truth than UTC or the machine's own zone.
        return zone.isValid() ? zone : QTimeZone(3600);
    }();
    return paris;
}

QString OfferText::line(const Account::Offer& offer, qint64 wordsLeft) {
    switch (offer.kind()) {
    case Account::Offer::Kind::trial:
        return Catalog::text("offer.trial", {day(offer.until().value_or(QDateTime()))});
    case Account::Offer::Kind::gifted:
        return Catalog::text("offer.gifted", {day(offer.until().value_or(QDateTime()))});
    case Account::Offer::Kind::pro:
        return Catalog::text("offer.pro");
    case Account::Offer::Kind::free:
        break;
    }
    return wordsLeftText(wordsLeft);
}

QString OfferText::wordsLeftText(qint64 wordsLeft) {
    if (wordsLeft < 1)
        return Catalog::text("offer.limitReached");
    if (wordsLeft == 1)
        return Catalog::text("offer.oneWordLeft");
    return Catalog::text("offer.wordsLeft", {grouped(wordsLeft)});
}

QString OfferText::day(const QDateTime& date) {
    if (!date.isValid())
        return {};
    const QDate inParis = date.toTimeZone(timeZone()).date();
    const QString month =
        QLocale(QLocale::French, QLocale::France).monthName(inParis.month(), QLocale::LongFormat);
    const QString dayOfMonth =
        inParis.day() == 1 ? QStringLiteral("1er") : QString::number(inParis.day());
    return dayOfMonth + u' ' + month;
}

QString OfferText::grouped(qint64 number) {
    // Unsigned, so that the most negative value has a magnitude too.
    const quint64 magnitude =
        number < 0 ? quint64(0) - static_cast<quint64>(number) : static_cast<quint64>(number);
    const QString digits = QString::number(magnitude);
    QString result;
    result.reserve(digits.size() + digits.size() / 3 + 1);
    if (number < 0)
        result += u'-';
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            result += QChar(noBreakSpace);
        result += digits[i];
    }
    return result;
}

QString OfferText::planName(Account::Subscription::Period period) {
    return period == Account::Subscription::Period::yearly ? Catalog::text("pro.plan.yearly")
                                                           : Catalog::text("pro.plan.monthly");
}

QString OfferText::price(Account::Subscription::Period period, const Account::Prices& prices) {
    if (period == Account::Subscription::Period::yearly)
        return Catalog::text("pro.price.yearly",
                             {amount(prices.yearlyCents, prices.currency),
                              amount(prices.yearlyCentsPerMonth, prices.currency)});
    return Catalog::text("pro.price.monthly", {amount(prices.monthlyCents, prices.currency)});
}

QString OfferText::amount(qint64 cents, const QString& currency) {
    // The sign is written once, in front, so that -0,50 € keeps its minus even
    // though its whole units are zero.
    const quint64 magnitude =
        cents < 0 ? quint64(0) - static_cast<quint64>(cents) : static_cast<quint64>(cents);
    const qint64 units = static_cast<qint64>(magnitude / 100);
    const int rest = static_cast<int>(magnitude % 100);

    QString result = grouped(units);
    if (cents < 0)
        result.prepend(u'-');
    if (rest != 0)
        result += u',' + QStringLiteral("%1").arg(rest, 2, 10, QLatin1Char('0'));
    if (currency.isEmpty())
        return result;
    result += QChar(noBreakSpace);
    result += currency.compare(QLatin1String("eur"), Qt::CaseInsensitive) == 0 ? QStringLiteral("€")
                                                                               : currency.toUpper();
    return result;
}

QString OfferText::subscriptionState(const Account::Subscription& subscription) {
    if (subscription.cancelsAtPeriodEnd)
        return Catalog::text("pro.state.canceled", {day(subscription.periodEnd)});
    if (subscription.paymentFailed())
        return Catalog::text("pro.state.paymentFailed");
    if (subscription.isTrialing())
        return Catalog::text("pro.state.trialing", {day(subscription.periodEnd)});
    return Catalog::text("pro.state.renews", {day(subscription.periodEnd)});
}

QString OfferText::offeredProKept(const QDateTime& until) {
    return Catalog::text("pro.offeredKept", {day(until)});
}

QString OfferText::friendsLabel(qint64 count) {
    return count < 2 ? Catalog::text("referral.friends.one")
                     : Catalog::text("referral.friends.other");
}

QString OfferText::monthsLabel(qint64 count) {
    return count < 2 ? Catalog::text("referral.months.one")
                     : Catalog::text("referral.months.other");
}

} // namespace parlova::core
