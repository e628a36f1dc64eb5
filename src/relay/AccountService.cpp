#include "relay/AccountService.h"

#include "relay/AccountStore.h"
#include "relay/Clock.h"
#include "relay/Database.h"
#include "relay/EmailAddress.h"
#include "relay/JsonBody.h"
#include "relay/Log.h"
#include "relay/Pages.h"
#include "relay/ReferralCodes.h"
#include "relay/SessionStore.h"
#include "relay/SignInStore.h"

namespace parlova::relay {

AccountService::AccountService(Database& db, const Clock& clock, AccountStore& accounts,
                               SessionStore& sessions, SignInStore& signIns, const QString& origin)
    : m_db(db)
    , m_clock(clock)
    , m_accounts(accounts)
    , m_sessions(sessions)
    , m_signIns(signIns)
    , m_origin(origin) {}

void AccountService::purge() {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    m_sessions.purge(now);
    m_accounts.purgeKeptWeeks(now);
    guard.commit();
}

std::optional<qint64> AccountService::authenticate(const QByteArray& authorization) {
    const QString token = SessionStore::bearer(authorization);
    if (token.isEmpty())
        return std::nullopt;
    const qint64 now = m_clock.now();
    auto lock = m_db.lock();
    return m_sessions.accountOf(token, now);
}

Outcome<QJsonObject> AccountService::read(qint64 accountId) {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    const auto account = m_accounts.byId(accountId);
    if (!account)
        return Refusal::SignedOut;
    const QJsonObject json = m_accounts.json(*account, now, m_origin);
    guard.commit();
    return json;
}

Outcome<Done> AccountService::remove(qint64 accountId) {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    const auto account = m_accounts.byId(accountId);
    if (!account)
        return Refusal::SignedOut;
    m_accounts.remove(*account, now);
    m_signIns.forget(account->email);
    guard.commit();
    Log::line(QStringLiteral("Compte supprimé (n° %1)").arg(account->id));
    return Done{};
}

Outcome<Done> AccountService::signOut(const QByteArray& authorization) {
    const QString token = SessionStore::bearer(authorization);
    const qint64 now = m_clock.now();
    auto lock = m_db.lock();
    if (token.isEmpty() || !m_sessions.accountOf(token, now))
        return Refusal::SignedOut;
    m_sessions.revoke(token);
    return Done{};
}

Outcome<Page> AccountService::invitationPage(const QString& code) {
    const auto normalized = ReferralCodes::normalized(code);
    bool known = false;
    if (normalized) {
        auto lock = m_db.lock();
        known = m_accounts.byReferralCode(*normalized).has_value();
    }
    if (!known)
        return Refusal::UnknownInvitation;
    return Page{Pages::invitation(*normalized)};
}

Outcome<QJsonObject> AccountService::adjust(const QByteArray& contentType, const QByteArray& body) {
    const auto parsed = JsonBody::read(contentType, body);
    if (!parsed)
        return parsed.failure();
    const QJsonObject& object = *parsed;
    std::optional<QString> email;
    std::optional<QString> offer;
    if (!JsonBody::text(object, QStringLiteral("email"), true, &email) ||
        !JsonBody::text(object, QStringLiteral("offre"), false, &offer))
        return Refusal::MalformedJson;
    // Pro comes from a subscription only; the others are set directly.
    Offer kind = Offer::Free;
    if (offer) {
        const auto known = Terms::offer(*offer);
        if (!known || *known == Offer::Pro)
            return Refusal::InvalidOffer;
        kind = *known;
    }
    const auto address = EmailAddress::normalized(*email);
    if (!address)
        return Refusal::InvalidEmail;
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    const auto account = m_accounts.byEmail(*address);
    if (!account)
        return Refusal::UnknownAccount;
    if (offer) {
        const qint64 days = object.value(QStringLiteral("jours")).toInteger(30);
        if (kind == Offer::Free)
            m_accounts.setOffered(account->id, std::nullopt, std::nullopt);
        else
            m_accounts.setOffered(account->id, kind, now + days * 24 * 3600);
    }
    if (object.contains(QStringLiteral("mots")))
        m_accounts.setWeekWords(account->id, object.value(QStringLiteral("mots")).toInteger(), now);
    const QJsonObject json = m_accounts.json(*m_accounts.byId(account->id), now, m_origin);
    guard.commit();
    return json;
}

} // namespace parlova::relay
