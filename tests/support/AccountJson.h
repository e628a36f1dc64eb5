#pragma once

#include "core/relayclient/RelayTransport.h"
#include "protocol/AccountCodec.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace parlova::test {

// An account as the relay sends it: free with `remaining` of 2000 words left,
// unless `offer` is "pro" (no cap, no end date); the week ends at `resetsAt`; a
// monthly subscription when `cancels` is given.
inline QJsonObject accountJson(const QString& offer = QStringLiteral("gratuit"),
                               int remaining = 1850,
                               const QString& resetsAt = QStringLiteral("2026-03-09T00:00:00Z"),
                               std::optional<bool> cancels = std::nullopt) {
    using Payload = protocol::AccountPayload;
    Payload account;
    account.email = QStringLiteral("lea@example.fr");
    const bool free = offer == u"gratuit";
    if (!free)
        account.offer = Payload::Offer::pro();
    account.week = {2000 - remaining, free ? std::optional<qint64>(2000) : std::nullopt,
                    free ? std::optional<qint64>(remaining) : std::nullopt,
                    QDateTime::fromString(resetsAt, Qt::ISODate)};
    if (cancels)
        account.subscription = Payload::Subscription{
            Payload::Subscription::Period::monthly, QStringLiteral("active"),
            QDateTime::fromString(QStringLiteral("2026-04-02T00:00:00Z"), Qt::ISODate), *cancels};
    account.referral = {QStringLiteral("K7M2QX"),
                        QUrl(QStringLiteral("https://parlova.fr/p/K7M2QX")), 0, 0, 0};
    account.prices = {QStringLiteral("eur"), 1200, 12000, 1000};
    return protocol::AccountCodec::encode(account);
}

// A relay answer with that JSON body.
inline core::RelayTransport::Response answer(int status, const QJsonObject& body = {}) {
    return {status, QJsonDocument(body).toJson(QJsonDocument::Compact), {}};
}

} // namespace parlova::test
