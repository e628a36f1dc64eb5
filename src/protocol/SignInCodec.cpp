#include "protocol/SignInCodec.h"

#include "protocol/AccountCodec.h"
#include "protocol/Member.h"

namespace parlova::protocol {

QJsonObject SignInCodec::encodeCodeSent(const QDateTime& expiresAt) {
    return {{Member::sent, true}, {Member::expiresAt, RelayJSON::dateText(expiresAt)}};
}

QJsonObject SignInCodec::encodeSignedIn(const QString& token, const QJsonObject& account,
                                        const std::optional<ReferralOutcome>& referral) {
    QJsonObject answer{{Member::token, token}, {Member::account, account}};
    if (referral)
        answer.insert(Member::referral, ReferralOutcomeCodec::encode(*referral));
    return answer;
}

Decoded<SignInAnswer> SignInCodec::decodeSignedIn(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    RelayJSON::Reader reader(*root);
    const QString token = reader.string(Member::token);
    RelayJSON::Reader accountReader = reader.object(Member::account);
    AccountPayload account = AccountCodec::read(accountReader);
    const QJsonValue outcome = reader.value(Member::referral);
    return reader.finish(SignInAnswer{
        token, std::move(account),
        outcome.isString() ? ReferralOutcomeCodec::decode(outcome.toString()) : std::nullopt});
}

} // namespace parlova::protocol
