#pragma once

#include <QString>
#include <QUrl>

namespace parlova::core {

// The relay's endpoints.
enum class Route {
    requestCode, // api/connexion/code
    verifyCode,  // api/connexion/verifier
    signOut,     // api/deconnexion
    account,     // api/compte (read and delete)
    checkout,    // api/abonnement/paiement
    portal,      // api/abonnement/portail
    dictate,     // api/dicter
};

// "api/compte", ...: path segments below the relay origin.
QString routePath(Route route);

// The origin with the route's segments appended after host and port: no
// query, no fragment, no trailing slash.
QUrl routeUrl(const QUrl& origin, Route route);

} // namespace parlova::core
