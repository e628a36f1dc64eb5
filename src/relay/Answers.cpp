#include "relay/Answers.h"

#include "protocol/DictationCodec.h"
#include "protocol/Member.h"
#include "protocol/SignInCodec.h"
#include "relay/Pages.h"
#include "relay/ParisWeek.h"

namespace parlova::relay {

namespace {

using protocol::ErrorCode;
using protocol::Member;

Reply missingPage(const QString& title, const QString& text) {
    return Reply::html(404, Pages::message(title, text));
}

protocol::ReferralOutcome outcome(SignInService::Referral referral) {
    switch (referral) {
    case SignInService::Referral::ExistingAccount:
        return protocol::ReferralOutcome::existingAccount;
    case SignInService::Referral::Refused:
        return protocol::ReferralOutcome::refused;
    case SignInService::Referral::Applied:
        return protocol::ReferralOutcome::applied;
    }
    return protocol::ReferralOutcome::refused;
}

} // namespace

Reply Answers::json(const QJsonObject& object) {
    return Reply::json(200, object);
}

Reply Answers::done(const Done&) {
    return Reply::noContent();
}

Reply Answers::page(const Page& page) {
    return Reply::html(200, page.html);
}

Reply Answers::address(const QString& url) {
    return Reply::json(200, {{Member::url, url}});
}

Reply Answers::codeSent(const SignInService::CodeSent& sent) {
    return Reply::json(200, protocol::SignInCodec::encodeCodeSent(
                                QDateTime::fromSecsSinceEpoch(sent.expiresAt, Qt::UTC)));
}

Reply Answers::signedIn(const SignInService::SignedIn& signedIn) {
    std::optional<protocol::ReferralOutcome> referral;
    if (signedIn.referral)
        referral = outcome(*signedIn.referral);
    return Reply::json(
        200, protocol::SignInCodec::encodeSignedIn(signedIn.token, signedIn.account, referral));
}

Reply Answers::dictation(const DictationService::Dictation& dictation) {
    return Reply::json(
        200, protocol::DictationCodec::encode({dictation.text, dictation.words, dictation.week}));
}

Reply Answers::refusal(const Refused& refused) {
    switch (refused.why) {
    case Refusal::ContentType:
        return Reply::error(415, ErrorCode::contentType);
    case Refusal::BodyTooLarge:
        return Reply::error(413, ErrorCode::size);
    case Refusal::MalformedJson:
        return Reply::error(400, ErrorCode::json);
    case Refusal::SignedOut:
        return Reply::error(401, ErrorCode::session);
    case Refusal::InvalidEmail:
        return Reply::error(400, ErrorCode::email);
    case Refusal::InvalidReferral:
        return Reply::error(400, ErrorCode::referral);
    case Refusal::InvalidOffer:
        return Reply::error(400, ErrorCode::offer);
    case Refusal::UnknownAccount:
        return Reply::error(404, ErrorCode::account);
    case Refusal::TooManyCodes:
        return Reply::wait(ErrorCode::tooManyCodes, refused.waitSeconds);
    case Refusal::TooManyGuesses:
        return Reply::wait(ErrorCode::tooManyGuesses, refused.waitSeconds);
    case Refusal::CodeExpired:
        return Reply::error(400, ErrorCode::codeExpired);
    case Refusal::WrongCode:
        return Reply::error(400, ErrorCode::wrongCode, {{Member::attemptsLeft, refused.triesLeft}});
    case Refusal::InvalidPeriod:
        return Reply::error(400, ErrorCode::period);
    case Refusal::PaymentsUnavailable:
        return Reply::error(503, ErrorCode::paymentsUnavailable);
    case Refusal::AlreadySubscribed:
        return Reply::error(409, ErrorCode::alreadySubscribed);
    case Refusal::NotSubscribed:
        return Reply::error(409, ErrorCode::notSubscribed);
    case Refusal::WeeklyCapReached:
        return Reply::error(
            402, ErrorCode::quota,
            {{QStringLiteral("reinitialisation"), ParisWeek::isoDate(refused.resetsAt)}});
    case Refusal::TakeTooLong:
        return Reply::error(413, ErrorCode::duration);
    case Refusal::UnreadableAudio:
        return Reply::error(400, ErrorCode::audio);
    case Refusal::EngineMisconfigured:
        return Reply::error(500, ErrorCode::configuration);
    case Refusal::TranscriptionFailed:
        return Reply::error(503, ErrorCode::transcription);
    case Refusal::PageExpired:
        return missingPage(QStringLiteral("Page expirée"),
                           QStringLiteral("Cette page n’est plus valable. "
                                          "Recommencez depuis Parlova."));
    case Refusal::UnknownInvitation:
        return missingPage(QStringLiteral("Invitation inconnue"),
                           QStringLiteral("Ce code de parrainage n’existe pas."));
    case Refusal::UnknownAction:
        return missingPage(QStringLiteral("Action inconnue"),
                           QStringLiteral("Cette action n’existe pas."));
    case Refusal::InvalidStatus:
        return Reply::error(400, ErrorCode::status);
    }
    // Every refusal is named above; a value outside the list is a fault.
    return Reply::error(500, ErrorCode::internal);
}

} // namespace parlova::relay
