#include "core/keychain/SecretStore.h"

namespace parlova::core {

QString SecretStore::message(qint32 status) {
    switch (status) {
    case success:
        return QStringLiteral("aucune erreur");
    case itemNotFound:
        return QStringLiteral("élément introuvable dans le trousseau");
    case serviceUnavailable:
        return QStringLiteral("aucun service de trousseau ne répond sur le bus de la session");
    case collectionLocked:
        return QStringLiteral("le trousseau est verrouillé");
    case promptDismissed:
        return QStringLiteral("la demande du trousseau a été refusée");
    case serviceFailure:
        return QStringLiteral("le service de trousseau a signalé une erreur");
    default:
        return {};
    }
}

} // namespace parlova::core
