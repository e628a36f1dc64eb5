#pragma once

#include "protocol/AccountPayload.h"
#include "protocol/ReferralOutcomeCodec.h"
#include "protocol/RelayJSON.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace parlova::protocol {

// What a successful code check yields.
struct SignInAnswer {
    QString token;          // "jeton"
    AccountPayload account; // "compte", at the moment of the sign-in
    // "parrainage", when the relay says so in a known word.
    std::optional<ReferralOutcome> referral;

    friend bool operator==(const SignInAnswer&, const SignInAnswer&) = default;
};

// The two answers of a sign-in: the code sent, then the code checked.
class SignInCodec {
public:
    SignInCodec() = delete;

    // {"envoye": true, "expiration": date}
    static QJsonObject encodeCodeSent(const QDateTime& expiresAt);
    // The account comes already in its JSON form, as the relay builds it once.
    static QJsonObject encodeSignedIn(const QString& token, const QJsonObject& account,
                                      const std::optional<ReferralOutcome>& referral);
    // "jeton" and "compte" required, "parrainage" optional; an unknown word
    // there only drops the outcome.
    static Decoded<SignInAnswer> decodeSignedIn(const QByteArray& bytes);
};

} // namespace parlova::protocol
