#pragma once

#include "relay/Terms.h"

#include <QString>

namespace parlova::relay {

struct SubscriptionRecord;

// One of the relay's pages, ready to be served as it is.
struct Page {
    QString html;
};

// The relay's own web pages: payment and portal stand-ins, terms, privacy,
// invitation. Plain French HTML whose forms post back to the relay, so that
// they work in any browser without script.
class Pages {
public:
    Pages() = delete;

    static QString escape(const QString& text);

    // A whole page around the given body (already HTML).
    static QString page(const QString& title, const QString& body);
    // A page that only says one thing.
    static QString message(const QString& title, const QString& text);

    static QString home();
    static QString terms();
    static QString privacy();
    static QString invitation(const QString& code);

    // The checkout of one plan for the address.
    static QString checkout(const QString& formAction, const QString& email, Period period,
                            const QString& priceText, qint64 firstPaymentAt, bool trialing);
    static QString subscribed(const SubscriptionRecord& subscription);
    static QString portal(const QString& formBase, const QString& email,
                          const SubscriptionRecord& subscription);

    static QString planName(Period period);
    static QString euros(qint64 cents);
};

} // namespace parlova::relay
