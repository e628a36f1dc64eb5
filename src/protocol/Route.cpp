#include "protocol/Route.h"

using namespace Qt::StringLiterals;

namespace parlova::protocol {

namespace {

constexpr RouteTable::Entry table[] = {
    {"POST"_L1, Route::requestCode}, {"POST"_L1, Route::verifyCode}, {"POST"_L1, Route::signOut},
    {"GET"_L1, Route::account},      {"DELETE"_L1, Route::account},  {"POST"_L1, Route::checkout},
    {"POST"_L1, Route::portal},      {"POST"_L1, Route::dictate},
};

} // namespace

QLatin1StringView RouteTable::path(Route route) {
    switch (route) {
    case Route::requestCode:
        return "api/connexion/code"_L1;
    case Route::verifyCode:
        return "api/connexion/verifier"_L1;
    case Route::signOut:
        return "api/deconnexion"_L1;
    case Route::account:
        return "api/compte"_L1;
    case Route::checkout:
        return "api/abonnement/paiement"_L1;
    case Route::portal:
        return "api/abonnement/portail"_L1;
    case Route::dictate:
        return "api/dicter"_L1;
    }
    return {};
}

std::span<const RouteTable::Entry> RouteTable::entries() {
    return table;
}

} // namespace parlova::protocol
