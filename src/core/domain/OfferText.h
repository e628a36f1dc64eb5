#pragma once

#include "core/domain/Account.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace parlova::core {

// The French phrases about an account: offer line, words left, subscription
// state, plan names, prices, dates and referral counters, so that the menu,
// the windows and the command line word the same facts the same way.
//
// Dates are a day and a month in Paris whatever the machine's zone; numbers
// are grouped by three and amounts carry a decimal comma, each gap and the
// space before the currency being a no-break space (U+00A0).
class OfferText {
public:
    OfferText() = delete;

    static constexpr char16_t noBreakSpace = u'\u00A0';

    // Europe/Paris: every date of the account is shown in it.
    static QTimeZone timeZone();

    // "Essai Pro jusqu’au 1er mars", "Pro", "1 500 mots restants cette semaine", ...
    static QString line(const Account::Offer& offer, qint64 wordsLeft);
    // "1er mars", "2 mars": never a year.
    static QString day(const QDateTime& date);
    // "-1 234 567", with no-break spaces.
    static QString grouped(qint64 number);
    static QString planName(Account::Subscription::Period period);
    static QString price(Account::Subscription::Period period, const Account::Prices& prices);
    // "12 €", "1 234,56 €", "9,99 USD".
    static QString amount(qint64 cents, const QString& currency);
    static QString subscriptionState(const Account::Subscription& subscription);
    // The notice that free Pro days are kept when subscribing.
    static QString offeredProKept(const QDateTime& until);
    static QString friendsLabel(qint64 count);
    static QString monthsLabel(qint64 count);

private:
    static QString wordsLeftText(qint64 wordsLeft);
};

} // namespace parlova::core
