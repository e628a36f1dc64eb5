#include "core/domain/SignIn.h"

#include "protocol/SignInCodec.h"

namespace parlova::core {

Decoded<SignIn> SignIn::fromJson(const QByteArray& bytes) {
    const Decoded<protocol::SignInAnswer> answer = protocol::SignInCodec::decodeSignedIn(bytes);
    if (!answer)
        return answer.error();
    std::optional<ReferralOutcome> referral;
    if (answer->referral)
        referral = ReferralOutcome::fromWire(*answer->referral);
    return SignIn{answer->token, Account(answer->account), referral};
}

} // namespace parlova::core
