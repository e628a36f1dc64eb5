#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace parlova::test {

// An account as the relay sends it: free with `remaining` words left of 2000
// (unless `offer` names a paid one, which has no cap), the week ending at
// `resetsAt`, and a monthly subscription when `cancels` is given.
inline QJsonObject accountJson(const QString& offer = QStringLiteral("gratuit"),
                               int remaining = 1850,
                               const QString& resetsAt = QStringLiteral("2026-03-09T00:00:00Z"),
                               std::optional<bool> cancels = std::nullopt) {
    const bool free = offer == u"gratuit";
    QJsonObject week{{"mots", 2000 - remaining}, {"reinitialisation", resetsAt}};
    week.insert("plafond", free ? QJsonValue(2000) : QJsonValue(QJsonValue::Null));
    week.insert("reste", free ? QJsonValue(remaining) : QJsonValue(QJsonValue::Null));
    QJsonObject account{
        {"email", "lea@example.fr"},
        {"offre", offer},
        {"proJusquAu", QJsonValue::Null},
        {"abonnement", QJsonValue::Null},
        {"semaine", week},
        {"parrainage", QJsonObject{{"code", "K7M2QX"},
                                   {"lien", "https://parlova.fr/p/K7M2QX"},
                                   {"amis", 0},
                                   {"amisValides", 0},
                                   {"moisGagnes", 0}}},
        {"tarifs",
         QJsonObject{{"devise", "eur"},
                     {"mensuel", QJsonObject{{"centimes", 1200}}},
                     {"annuel", QJsonObject{{"centimes", 12000}, {"centimesParMois", 1000}}}}},
    };
    if (cancels)
        account.insert("abonnement", QJsonObject{{"periode", "mensuel"},
                                                 {"statut", "active"},
                                                 {"finPeriode", "2026-04-02T00:00:00Z"},
                                                 {"resilie", *cancels}});
    return account;
}

inline QByteArray bytes(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace parlova::test
