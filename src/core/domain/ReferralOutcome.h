#pragma once

#include "protocol/ReferralOutcomeCodec.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <optional>

namespace parlova::core {

// What became of the referral code sent with a sign-in, in the relay's words.
class ReferralOutcome {
public:
    enum Value {
        applied,         // "applique": the friend's month of Pro is granted
        existingAccount, // "compte-existant": referrals only count for new accounts
        refused,         // "refuse": the relay would not apply it to this account
    };

    constexpr ReferralOutcome(Value value)
        : m_value(value) {}

    // Exact, case-sensitive; any other word gives none.
    static std::optional<ReferralOutcome> fromRawValue(QStringView raw);
    static ReferralOutcome fromWire(protocol::ReferralOutcome outcome);

    constexpr Value value() const { return m_value; }
    QString rawValue() const;
    protocol::ReferralOutcome wire() const;
    // The French sentence to show after the sign-in.
    QString notice() const;

    friend constexpr bool operator==(ReferralOutcome, ReferralOutcome) = default;

private:
    Value m_value;
};

inline size_t qHash(ReferralOutcome outcome, size_t seed = 0) noexcept {
    return ::qHash(static_cast<int>(outcome.value()), seed);
}

} // namespace parlova::core
