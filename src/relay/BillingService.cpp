#include "relay/BillingService.h"

#include "protocol/Member.h"
#include "relay/AccountStore.h"
#include "relay/Clock.h"
#include "relay/Database.h"
#include "relay/JsonBody.h"
#include "relay/KeyedDigest.h"
#include "relay/Log.h"
#include "relay/Pages.h"
#include "relay/Secrets.h"

namespace parlova::relay {

namespace {

QString priceText(Period period) {
    if (period == Period::Yearly)
        return QStringLiteral("%1 par an, soit %2 par mois")
            .arg(Pages::euros(AccountStore::yearlyCents),
                 Pages::euros(AccountStore::yearlyCentsPerMonth));
    return QStringLiteral("%1 par mois").arg(Pages::euros(AccountStore::monthlyCents));
}

} // namespace

BillingService::BillingService(Database& db, const Clock& clock, const KeyedDigest& digest,
                               AccountStore& accounts, bool enabled, const QString& origin)
    : m_db(db)
    , m_clock(clock)
    , m_digest(digest)
    , m_accounts(accounts)
    , m_enabled(enabled)
    , m_origin(origin) {}

QString BillingService::pageKey(const QString& seed) const {
    return m_digest.of(QStringLiteral("page:") + seed);
}

QString BillingService::openPage(qint64 accountId, const char* kind, std::optional<Period> period,
                                 qint64 validity, qint64 now) {
    const QString genre = QString::fromLatin1(kind);
    const std::optional<QString> periodText =
        period ? std::optional(Terms::text(*period)) : std::nullopt;
    auto open =
        m_db.prepare("SELECT graine FROM pages WHERE compte = ?1 AND genre = ?2 AND "
                     "periode IS NOT DISTINCT FROM ?3 AND expire_le > ?4 AND utilisee = 0 AND "
                     "graine IS NOT NULL");
    open.bind(1, accountId).bind(2, genre).bind(3, periodText).bind(4, now + validity / 2);
    if (open.step())
        return pageKey(open.text(0));
    // The account's other pages of this kind are used, expired, about to
    // expire or without a seed: a page that cannot be given back goes.
    m_db.prepare("DELETE FROM pages WHERE compte = ?1 AND genre = ?2 AND "
                 "periode IS NOT DISTINCT FROM ?3")
        .bind(1, accountId)
        .bind(2, genre)
        .bind(3, periodText)
        .run();
    const QString seed = Secrets::newToken();
    const QString key = pageKey(seed);
    m_db.prepare("INSERT INTO pages (cle, compte, genre, periode, expire_le, graine) "
                 "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
        .bind(1, Secrets::sha256(key))
        .bind(2, accountId)
        .bind(3, genre)
        .bind(4, periodText)
        .bind(5, now + validity)
        .bind(6, seed)
        .run();
    return key;
}

void BillingService::purge() {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    m_db.prepare("DELETE FROM pages WHERE expire_le <= ?1").bind(1, now).run();
    guard.commit();
}

std::optional<BillingService::PageRecord> BillingService::page(const QString& key, const char* kind,
                                                               qint64 now) {
    auto statement = m_db.prepare("SELECT compte, periode FROM pages WHERE cle = ?1 AND "
                                  "genre = ?2 AND expire_le > ?3 AND utilisee = 0");
    statement.bind(1, Secrets::sha256(key)).bind(2, QString::fromLatin1(kind)).bind(3, now);
    if (!statement.step())
        return std::nullopt;
    return PageRecord{statement.integer(0),
                      Terms::period(statement.text(1)).value_or(Period::Monthly)};
}

Outcome<QString> BillingService::checkout(qint64 accountId, const QByteArray& contentType,
                                          const QByteArray& body) {
    const auto parsed = JsonBody::read(contentType, body);
    if (!parsed)
        return parsed.failure();
    std::optional<QString> period;
    if (!JsonBody::text(*parsed, protocol::Member::period, true, &period))
        return Refusal::MalformedJson;
    const auto chosen = Terms::period(*period);
    if (!chosen)
        return Refusal::InvalidPeriod;
    if (!m_enabled)
        return Refusal::PaymentsUnavailable;
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    if (m_accounts.settle(accountId, now)) {
        guard.commit();
        return Refusal::AlreadySubscribed;
    }
    const QString key = openPage(accountId, "paiement", chosen, checkoutValidity, now);
    guard.commit();
    return m_origin + QStringLiteral("/paiement/") + key;
}

Outcome<QString> BillingService::portal(qint64 accountId, const QByteArray& contentType,
                                        const QByteArray& body) {
    if (const auto parsed = JsonBody::read(contentType, body); !parsed)
        return parsed.failure();
    if (!m_enabled)
        return Refusal::PaymentsUnavailable;
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    if (!m_accounts.settle(accountId, now)) {
        guard.commit();
        return Refusal::NotSubscribed;
    }
    const QString key = openPage(accountId, "portail", std::nullopt, portalValidity, now);
    guard.commit();
    return m_origin + QStringLiteral("/portail/") + key;
}

Outcome<Page> BillingService::checkoutPage(const QString& key) {
    const qint64 now = m_clock.now();
    auto lock = m_db.lock();
    const auto found = page(key, "paiement", now);
    if (!found)
        return Refusal::PageExpired;
    const auto account = m_accounts.byId(found->accountId);
    if (!account)
        return Refusal::PageExpired;
    if (const auto sub = m_accounts.settle(account->id, now))
        return Page{Pages::subscribed(*sub)};
    const bool trialing = account->offeredUntil && *account->offeredUntil > now + offeredCarryOver;
    return Page{Pages::checkout(QStringLiteral("/paiement/") + key, account->email, found->period,
                                priceText(found->period), account->offeredUntil.value_or(now),
                                trialing)};
}

Outcome<Page> BillingService::confirmCheckout(const QString& key) {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    const auto found = page(key, "paiement", now);
    const auto account = found ? m_accounts.byId(found->accountId) : std::nullopt;
    if (!account)
        return Refusal::PageExpired;
    m_db.prepare("UPDATE pages SET utilisee = 1 WHERE cle = ?1")
        .bind(1, Secrets::sha256(key))
        .run();
    auto sub = m_accounts.settle(account->id, now);
    if (!sub) {
        SubscriptionRecord created{found->period, SubscriptionStatus::Active,
                                   AccountStore::addMonths(now, Terms::months(found->period)),
                                   false};
        if (account->offeredUntil && *account->offeredUntil > now + offeredCarryOver) {
            created.status = SubscriptionStatus::Trialing;
            created.periodEnd = *account->offeredUntil;
        }
        m_accounts.saveSubscription(account->id, created, now);
        sub = created;
        Log::line(QStringLiteral("Abonnement %1 pour %2")
                      .arg(Terms::text(found->period), account->email));
    }
    guard.commit();
    return Page{Pages::subscribed(*sub)};
}

Outcome<Page> BillingService::portalPage(const QString& key) {
    const qint64 now = m_clock.now();
    auto lock = m_db.lock();
    const auto found = page(key, "portail", now);
    const auto account = found ? m_accounts.byId(found->accountId) : std::nullopt;
    if (!account)
        return Refusal::PageExpired;
    const auto sub = m_accounts.settle(account->id, now);
    if (!sub)
        return Page{Pages::message(QStringLiteral("Aucun abonnement"),
                                   QStringLiteral("Ce compte n’a plus d’abonnement à gérer."))};
    return Page{Pages::portal(QStringLiteral("/portail/") + key, account->email, *sub)};
}

Outcome<Done> BillingService::portalAction(const QString& key, const QString& action) {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    const auto found = page(key, "portail", now);
    if (!found)
        return Refusal::PageExpired;
    auto sub = m_accounts.settle(found->accountId, now);
    if (sub) {
        if (action == u"resilier") {
            sub->cancelsAtPeriodEnd = true;
        } else if (action == u"reprendre") {
            sub->cancelsAtPeriodEnd = false;
            if (sub->status == SubscriptionStatus::PastDue)
                sub->status = SubscriptionStatus::Active;
        } else if (action == u"impaye") {
            sub->status = SubscriptionStatus::PastDue;
        } else {
            return Refusal::UnknownAction;
        }
        m_accounts.saveSubscription(found->accountId, *sub, now);
    }
    guard.commit();
    return Done{};
}

} // namespace parlova::relay
