#pragma once

#include <QString>

#include <optional>

namespace parlova::relay {

// A paid subscription's period.
enum class Period { Monthly, Yearly };
// A subscription's status, as a payment service words it.
enum class SubscriptionStatus { Active, Trialing, PastDue };
// The offer an account has at one instant; Trial and Gifted are Pro that
// nobody pays for.
enum class Offer { Free, Trial, Gifted, Pro };

// The words of those values in the database, the forms and the account JSON
// ("mensuel", "past_due", "offert"…), both ways.
class Terms {
public:
    Terms() = delete;

    static QString text(Period period);
    static QString text(SubscriptionStatus status);
    static QString text(Offer offer);

    static std::optional<Period> period(QStringView text);
    static std::optional<SubscriptionStatus> status(QStringView text);
    static std::optional<Offer> offer(QStringView text);

    static int months(Period period) { return period == Period::Yearly ? 12 : 1; }
};

} // namespace parlova::relay
