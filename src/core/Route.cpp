#include "core/Route.h"

namespace parlova::core {

QString routePath(Route route) {
    switch (route) {
    case Route::requestCode:
        return QStringLiteral("api/connexion/code");
    case Route::verifyCode:
        return QStringLiteral("api/connexion/verifier");
    case Route::signOut:
        return QStringLiteral("api/deconnexion");
    case Route::account:
        return QStringLiteral("api/compte");
    case Route::checkout:
        return QStringLiteral("api/abonnement/paiement");
    case Route::portal:
        return QStringLiteral("api/abonnement/portail");
    case Route::dictate:
        return QStringLiteral("api/dicter");
    }
    return {};
}

QUrl routeUrl(const QUrl& origin, Route route) {
    QUrl result =
        origin.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::StripTrailingSlash);
    QString base = result.path();
    while (base.endsWith(u'/'))
        base.chop(1);
    result.setPath(base + u'/' + routePath(route));
    return result;
}

} // namespace parlova::core
