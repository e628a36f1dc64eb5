#include "relay/Answers.h"

#include "relay/Pages.h"
#include "relay/ParisWeek.h"

namespace parlova::relay {

namespace {

Reply missingPage(const QString& title, const QString& text) {
    return Reply::html(404, Pages::message(title, text));
}

QString referralText(SignInService::Referral referral) {
    switch (referral) {
    case SignInService::Referral::ExistingAccount:
        return QStringLiteral("compte-existant");
    case SignInService::Referral::Refused:
        return QStringLiteral("refuse");
    case SignInService::Referral::Applied:
        return QStringLiteral("applique");
    }
    return QStringLiteral("refuse");
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
    return Reply::json(200, {{QStringLiteral("url"), url}});
}

Reply Answers::codeSent(const SignInService::CodeSent& sent) {
    return Reply::json(200, {{QStringLiteral("envoye"), true},
                             {QStringLiteral("expiration"), ParisWeek::isoDate(sent.expiresAt)}});
}

Reply Answers::signedIn(const SignInService::SignedIn& signedIn) {
    QJsonObject answer{{QStringLiteral("jeton"), signedIn.token},
                       {QStringLiteral("compte"), signedIn.account}};
    if (signedIn.referral)
        answer.insert(QStringLiteral("parrainage"), referralText(*signedIn.referral));
    return Reply::json(200, answer);
}

Reply Answers::dictation(const DictationService::Dictation& dictation) {
    return Reply::json(200, {{QStringLiteral("texte"), dictation.text},
                             {QStringLiteral("mots"), dictation.words},
                             {QStringLiteral("semaine"), dictation.week}});
}

Reply Answers::refusal(const Refused& refused) {
    switch (refused.why) {
    case Refusal::ContentType:
        return Reply::error(415, QStringLiteral("type-contenu"));
    case Refusal::BodyTooLarge:
        return Reply::error(413, QStringLiteral("taille"));
    case Refusal::MalformedJson:
        return Reply::error(400, QStringLiteral("json"));
    case Refusal::SignedOut:
        return Reply::error(401, QStringLiteral("session"));
    case Refusal::InvalidEmail:
        return Reply::error(400, QStringLiteral("email"));
    case Refusal::InvalidReferral:
        return Reply::error(400, QStringLiteral("parrainage"));
    case Refusal::InvalidOffer:
        return Reply::error(400, QStringLiteral("offre"));
    case Refusal::UnknownAccount:
        return Reply::error(404, QStringLiteral("compte"));
    case Refusal::TooManyCodes:
        return Reply::wait(QStringLiteral("trop-de-codes"), refused.waitSeconds);
    case Refusal::TooManyGuesses:
        return Reply::wait(QStringLiteral("trop-d-essais"), refused.waitSeconds);
    case Refusal::CodeExpired:
        return Reply::error(400, QStringLiteral("code-expire"));
    case Refusal::WrongCode:
        return Reply::error(400, QStringLiteral("code-faux"),
                            {{QStringLiteral("essaisRestants"), refused.triesLeft}});
    case Refusal::InvalidPeriod:
        return Reply::error(400, QStringLiteral("periode"));
    case Refusal::PaymentsUnavailable:
        return Reply::error(503, QStringLiteral("paiement-indisponible"));
    case Refusal::AlreadySubscribed:
        return Reply::error(409, QStringLiteral("deja-abonne"));
    case Refusal::NotSubscribed:
        return Reply::error(409, QStringLiteral("sans-abonnement"));
    case Refusal::WeeklyCapReached:
        return Reply::error(
            402, QStringLiteral("quota"),
            {{QStringLiteral("reinitialisation"), ParisWeek::isoDate(refused.resetsAt)}});
    case Refusal::TakeTooLong:
        return Reply::error(413, QStringLiteral("duree"));
    case Refusal::UnreadableAudio:
        return Reply::error(400, QStringLiteral("audio"));
    case Refusal::EngineMisconfigured:
        return Reply::error(500, QStringLiteral("configuration"));
    case Refusal::TranscriptionFailed:
        return Reply::error(503, QStringLiteral("transcription"));
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
        return Reply::error(400, QStringLiteral("statut"));
    }
    // Every refusal is named above; a value outside the list is a fault.
    return Reply::error(500, QStringLiteral("interne"));
}

} // namespace parlova::relay
