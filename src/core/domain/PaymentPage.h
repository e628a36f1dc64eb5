#pragma once

#include "core/domain/Account.h"

namespace parlova::core {

// The relay page a user may want to open in the browser: the checkout of one
// subscription period, or the customer portal of an existing subscription.
class PaymentPage {
public:
    enum class Kind { checkout, portal };
    using Period = Account::Subscription::Period;

    static constexpr PaymentPage checkout(Period period) {
        return PaymentPage(Kind::checkout, period);
    }
    static constexpr PaymentPage portal() { return PaymentPage(Kind::portal, Period::monthly); }

    constexpr Kind kind() const { return m_kind; }
    // Meaningful for a checkout only.
    constexpr Period period() const { return m_period; }

    friend constexpr bool operator==(const PaymentPage& a, const PaymentPage& b) {
        return a.m_kind == b.m_kind && (a.m_kind == Kind::portal || a.m_period == b.m_period);
    }

private:
    constexpr PaymentPage(Kind kind, Period period)
        : m_kind(kind)
        , m_period(period) {}

    Kind m_kind;
    Period m_period;
};

} // namespace parlova::core
