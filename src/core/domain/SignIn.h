#pragma once

#include "core/domain/Account.h"
#include "core/domain/ReferralOutcome.h"
#include "core/domain/RelayJSON.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace parlova::core {

// What a successful code check yields.
struct SignIn {
    QString token;   // the session token: keychain only, never logged
    Account account; // the account at the moment of the sign-in
    // What became of the referral code, when the relay says so in a known word.
    std::optional<ReferralOutcome> referral;

    // The relay's answer to a code check: "jeton" and "compte" required,
    // "parrainage" optional; an unknown word there only drops the notice.
    static Decoded<SignIn> fromJson(const QByteArray& bytes);

    friend bool operator==(const SignIn&, const SignIn&) = default;
};

} // namespace parlova::core
