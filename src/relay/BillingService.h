#pragma once

#include "relay/Outcome.h"
#include "relay/Pages.h"
#include "relay/Terms.h"

#include <QByteArray>
#include <QString>

namespace parlova::relay {

class AccountStore;
class Clock;
class Database;
class KeyedDigest;

// Subscriptions without a payment provider: "api/abonnement/paiement" and
// "api/abonnement/portail" answer with the address of a page of the relay
// itself, where one button subscribes and others cancel, resume or simulate a
// refused payment. A page address holds a key derived, with the relay's own
// key, from a random seed (the database keeps the seed and the key's digest);
// checkout pages are valid for a day and used once, portal pages for an hour.
// An account has at most one open page per kind and period: asking again
// gives the same page back, while it has at least half its validity left.
class BillingService {
public:
    static constexpr qint64 checkoutValidity = 24 * 3600;
    static constexpr qint64 portalValidity = 3600;
    // Gifted Pro with more than this left is kept when subscribing: the
    // subscription starts as a trial that ends with it.
    static constexpr qint64 offeredCarryOver = 48 * 3600;

    BillingService(Database& db, const Clock& clock, const KeyedDigest& digest,
                   AccountStore& accounts, bool enabled, const QString& origin);

    // The address of the page to open.
    Outcome<QString> checkout(qint64 accountId, const QByteArray& contentType,
                              const QByteArray& body);
    Outcome<QString> portal(qint64 accountId, const QByteArray& contentType,
                            const QByteArray& body);

    // The pages behind those addresses; PageExpired for a key that no
    // longer opens one.
    Outcome<Page> checkoutPage(const QString& key);
    Outcome<Page> confirmCheckout(const QString& key);
    Outcome<Page> portalPage(const QString& key);
    // action: "resilier", "reprendre" or "impaye"; UnknownAction otherwise.
    // Once done, the portal page shows the result.
    Outcome<Done> portalAction(const QString& key, const QString& action);

    // Drops expired pages.
    void purge();

private:
    struct PageRecord {
        qint64 accountId = 0;
        Period period = Period::Monthly;
    };
    std::optional<PageRecord> page(const QString& key, const char* kind, qint64 now);
    QString openPage(qint64 accountId, const char* kind, std::optional<Period> period,
                     qint64 validity, qint64 now);
    QString pageKey(const QString& seed) const;

    Database& m_db;
    const Clock& m_clock;
    const KeyedDigest& m_digest;
    AccountStore& m_accounts;
    const bool m_enabled;
    // The relay's, set once it listens.
    const QString& m_origin;
};

} // namespace parlova::relay
