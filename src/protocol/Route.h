#pragma once

#include <QLatin1StringView>

#include <span>

namespace parlova::protocol {

// The relay's API endpoints.
enum class Route {
    requestCode, // api/connexion/code
    verifyCode,  // api/connexion/verifier
    signOut,     // api/deconnexion
    account,     // api/compte (read and delete)
    checkout,    // api/abonnement/paiement
    portal,      // api/abonnement/portail
    dictate,     // api/dicter
};

// Which methods each route takes, and its path.
class RouteTable {
public:
    RouteTable() = delete;

    struct Entry {
        QLatin1StringView method;
        Route route;
    };

    // "api/compte", ...: path segments below the relay origin.
    static QLatin1StringView path(Route route);
    // Every method of every route, a route's methods in the order the relay's
    // Allow header names them.
    static std::span<const Entry> entries();
};

} // namespace parlova::protocol
