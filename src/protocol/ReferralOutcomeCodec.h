#pragma once

#include <QLatin1StringView>
#include <QStringView>

#include <optional>

namespace parlova::protocol {

// What became of the referral code sent with a sign-in ("parrainage" of the
// sign-in answer).
enum class ReferralOutcome {
    applied,         // "applique": the friend's month of Pro is granted
    existingAccount, // "compte-existant": referrals only count for new accounts
    refused,         // "refuse": the relay would not apply it to this account
};

class ReferralOutcomeCodec {
public:
    ReferralOutcomeCodec() = delete;

    static QLatin1StringView encode(ReferralOutcome outcome);
    // Exact, case-sensitive; any other word gives none.
    static std::optional<ReferralOutcome> decode(QStringView word);
};

} // namespace parlova::protocol
