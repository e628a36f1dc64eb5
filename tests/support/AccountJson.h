#pragma once

#include "core/RelayTransport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace parlova::test {

// An account as the relay sends it: free with `remaining` of 2000 words left,
// unless `offer` names a paid offer (no cap); the week ends at `resetsAt`; a
// monthly subscription when `cancels` is given.
inline QJsonObject accountJson(const QString& offer = QStringLiteral("gratuit"),
                               int remaining = 1850,
                               const QString& resetsAt = QStringLiteral("2026-03-09T00:00:00Z"),
                               std::optional<bool> cancels = std::nullopt) {
    QJsonObject account{
        {"email", "lea@example.fr"},
        {"proJusquAu", QJsonValue()},
        {"abonnement", QJsonValue()},
        {"parrainage", QJsonObject{{"code", "K7M2QX"},
                                   {"lien", "https://parlova.fr/p/K7M2QX"},
                                   {"amis", 0},
                                   {"amisValides", 0},
                                   {"moisGagnes", 0}}},
        {"tarifs",
         QJsonObject{{"devise", "eur"},
                     {"mensuel", QJsonObject{{"centimes", 1200}}},
                     {"annuel", QJsonObject{{"centimes", 12000}, {"centimesParMois", 1000}}}}}};
    const bool free = offer == u"gratuit";
    account.insert("offre", offer);
    account.insert("semaine", QJsonObject{{"mots", 2000 - remaining},
                                          {"plafond", free ? QJsonValue(2000) : QJsonValue()},
                                          {"reste", free ? QJsonValue(remaining) : QJsonValue()},
                                          {"reinitialisation", resetsAt}});
    if (cancels)
        account.insert("abonnement", QJsonObject{{"periode", "mensuel"},
                                                 {"statut", "active"},
                                                 {"finPeriode", "2026-04-02T00:00:00Z"},
                                                 {"resilie", *cancels}});
    return account;
}

// A relay answer with that JSON body.
inline core::RelayTransport::Response answer(int status, const QJsonObject& body = {}) {
    return {status, QJsonDocument(body).toJson(QJsonDocument::Compact), {}};
}

} // namespace parlova::test
