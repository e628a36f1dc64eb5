#include "protocol/ErrorCode.h"

using namespace Qt::StringLiterals;

namespace parlova::protocol {

std::optional<ErrorCode> ErrorCode::fromText(QStringView text) {
    for (int value = headers; value <= emailNotSent; ++value) {
        const ErrorCode code(static_cast<Value>(value));
        if (text == code.text())
            return code;
    }
    return std::nullopt;
}

QLatin1StringView ErrorCode::text() const {
    switch (m_value) {
    case headers:
        return "en-tetes"_L1;
    case request:
        return "requete"_L1;
    case length:
        return "longueur"_L1;
    case size:
        return "taille"_L1;
    case notFound:
        return "introuvable"_L1;
    case control:
        return "controle"_L1;
    case internal:
        return "interne"_L1;
    case session:
        return "session"_L1;
    case form:
        return "formulaire"_L1;
    case contentType:
        return "type-contenu"_L1;
    case language:
        return "langue"_L1;
    case method:
        return "methode"_L1;
    case code:
        return "code"_L1;
    case engine:
        return "moteur"_L1;
    case advance:
        return "avancer"_L1;
    case json:
        return "json"_L1;
    case email:
        return "email"_L1;
    case referral:
        return "parrainage"_L1;
    case offer:
        return "offre"_L1;
    case account:
        return "compte"_L1;
    case tooManyCodes:
        return "trop-de-codes"_L1;
    case tooManyGuesses:
        return "trop-d-essais"_L1;
    case codeExpired:
        return "code-expire"_L1;
    case wrongCode:
        return "code-faux"_L1;
    case period:
        return "periode"_L1;
    case paymentsUnavailable:
        return "paiement-indisponible"_L1;
    case alreadySubscribed:
        return "deja-abonne"_L1;
    case notSubscribed:
        return "sans-abonnement"_L1;
    case quota:
        return "quota"_L1;
    case duration:
        return "duree"_L1;
    case audio:
        return "audio"_L1;
    case configuration:
        return "configuration"_L1;
    case transcription:
        return "transcription"_L1;
    case status:
        return "statut"_L1;
    case emailNotSent:
        return "envoi"_L1;
    }
    return {};
}

} // namespace parlova::protocol
