#include "relay/SignInService.h"

#include "relay/AccountStore.h"
#include "relay/Clock.h"
#include "relay/CodeMailbox.h"
#include "relay/Database.h"
#include "relay/EmailAddress.h"
#include "relay/JsonBody.h"
#include "relay/Log.h"
#include "relay/ParisWeek.h"
#include "relay/ReferralCodes.h"
#include "relay/Secrets.h"
#include "relay/SessionStore.h"
#include "relay/SignInStore.h"

namespace parlova::relay {

namespace {

// What both sign-in exchanges carry: the address and maybe a referral code.
struct Identity {
    QString email;
    std::optional<QString> referral;
    std::optional<QString> code;
};

std::optional<Reply> readIdentity(const QByteArray& contentType, const QByteArray& body,
                                  bool withCode, Identity* identity) {
    QJsonObject object;
    if (auto refusal = JsonBody::read(contentType, body, &object))
        return refusal;
    std::optional<QString> email;
    std::optional<QString> referral;
    if (!JsonBody::text(object, QStringLiteral("email"), true, &email) ||
        !JsonBody::text(object, QStringLiteral("parrainage"), false, &referral) ||
        (withCode && !JsonBody::text(object, QStringLiteral("code"), true, &identity->code)))
        return JsonBody::malformed();
    const auto address = EmailAddress::normalized(*email);
    if (!address)
        return Reply::error(400, QStringLiteral("email"));
    identity->email = *address;
    if (referral) {
        identity->referral = ReferralCodes::normalized(*referral);
        if (!identity->referral)
            return Reply::error(400, QStringLiteral("parrainage"));
    }
    return std::nullopt;
}

} // namespace

SignInService::SignInService(Database& db, const Clock& clock, AccountStore& accounts,
                             SessionStore& sessions, SignInStore& store, CodeMailbox& mailbox,
                             const QString& origin)
    : m_db(db)
    , m_clock(clock)
    , m_accounts(accounts)
    , m_sessions(sessions)
    , m_store(store)
    , m_mailbox(mailbox)
    , m_origin(origin) {}

void SignInService::purge() {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    m_store.purge(now, codeValidity, requestWindow);
    guard.commit();
}

Reply SignInService::requestCode(const QByteArray& contentType, const QByteArray& body) {
    Identity identity;
    if (auto refusal = readIdentity(contentType, body, false, &identity))
        return *refusal;
    const qint64 now = m_clock.now();
    const QString code = Secrets::randomDigits(6);
    {
        Database::Guard guard(m_db);
        if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
            return Reply::error(400, QStringLiteral("parrainage"));
        const qint64 since = now - requestWindow;
        const auto mine = m_store.requestsSince(identity.email, since);
        const auto all = m_store.allRequestsSince(since);
        const auto tooMany = mine.count >= maxCodesPerHour     ? std::optional(mine.oldest)
                             : all.count >= maxCodesPerHourAll ? std::optional(all.oldest)
                                                               : std::nullopt;
        if (tooMany)
            return Reply::wait(QStringLiteral("trop-de-codes"),
                               std::max<qint64>(*tooMany + requestWindow - now, 1));
        m_store.recordRequest(identity.email, now);
        m_store.saveCode(identity.email, code, identity.referral, now);
        guard.commit();
    }
    m_mailbox.deliver(identity.email, code, now + codeValidity);
    return Reply::json(200,
                       {{QStringLiteral("envoye"), true},
                        {QStringLiteral("expiration"), ParisWeek::isoDate(now + codeValidity)}});
}

Reply SignInService::verify(const QByteArray& contentType, const QByteArray& body) {
    Identity identity;
    if (auto refusal = readIdentity(contentType, body, true, &identity))
        return *refusal;
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
        return Reply::error(400, QStringLiteral("parrainage"));

    if (const auto until = m_store.lockedUntil(identity.email, now))
        return Reply::wait(QStringLiteral("trop-d-essais"), *until - now);

    const auto pending = m_store.pendingCode(identity.email);
    if (!pending || pending->issuedAt + codeValidity <= now)
        return Reply::error(400, QStringLiteral("code-expire"));
    const qint64 attempts = pending->attempts + 1;

    if (!m_store.matches(*pending, identity.email, *identity.code)) {
        const qint64 left = maxAttempts - attempts;
        if (left <= 0) {
            m_store.dropCode(identity.email);
            m_store.lock(identity.email, now + lockout);
        } else {
            m_store.setAttempts(identity.email, attempts);
        }
        guard.commit();
        return Reply::error(400, QStringLiteral("code-faux"),
                            {{QStringLiteral("essaisRestants"), std::max<qint64>(left, 0)}});
    }

    m_store.dropCode(identity.email);
    m_store.unlock(identity.email);

    auto account = m_accounts.byEmail(identity.email);
    const bool existed = account.has_value();
    if (!existed) {
        account = m_accounts.create(identity.email, now);
        Log::line(QStringLiteral("Nouveau compte : %1").arg(identity.email));
    }

    QJsonObject answer;
    const std::optional<QString> referral =
        identity.referral ? identity.referral : pending->referral;
    if (referral) {
        const auto referrer = m_accounts.byReferralCode(*referral);
        QString outcome;
        if (existed)
            outcome = QStringLiteral("compte-existant");
        else if (!referrer || m_accounts.wasDeleted(identity.email) ||
                 m_accounts.friendsOf(referrer->id) >= AccountStore::maxFriends)
            outcome = QStringLiteral("refuse");
        else {
            outcome = QStringLiteral("applique");
            m_accounts.giftMonths(account->id, AccountStore::referralMonths, now);
            m_accounts.recordReferral(referrer->id, identity.email, now);
        }
        answer.insert(QStringLiteral("parrainage"), outcome);
    }

    answer.insert(QStringLiteral("jeton"), m_sessions.open(account->id, now));
    answer.insert(QStringLiteral("compte"),
                  m_accounts.json(*m_accounts.byId(account->id), now, m_origin));
    guard.commit();
    return Reply::json(200, answer);
}

} // namespace parlova::relay
