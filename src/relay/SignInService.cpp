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

QString codeDigest(const QString& email, const QString& code) {
    return Secrets::sha256(email + u':' + code);
}

} // namespace

SignInService::SignInService(Database& db, const Clock& clock, AccountStore& accounts,
                             SessionStore& sessions, CodeMailbox& mailbox)
    : m_db(db)
    , m_clock(clock)
    , m_accounts(accounts)
    , m_sessions(sessions)
    , m_mailbox(mailbox) {}

Reply SignInService::requestCode(const QByteArray& contentType, const QByteArray& body) {
    Identity identity;
    if (auto refusal = readIdentity(contentType, body, false, &identity))
        return *refusal;
    const qint64 now = m_clock.now();
    const QString code = Secrets::randomDigits(6);
    {
        auto lock = m_db.lock();
        Database::Transaction transaction(m_db);
        if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
            return Reply::error(400, QStringLiteral("parrainage"));

        m_db.prepare("DELETE FROM demandes_code WHERE email = ?1 AND le <= ?2")
            .bind(1, identity.email)
            .bind(2, now - 3600)
            .run();
        auto recent = m_db.prepare("SELECT COUNT(*), MIN(le) FROM demandes_code WHERE email = ?1");
        recent.bind(1, identity.email);
        recent.step();
        if (recent.integer(0) >= maxCodesPerHour) {
            const qint64 wait = recent.integer(1) + 3600 - now;
            transaction.commit();
            return Reply::wait(QStringLiteral("trop-de-codes"), wait);
        }
        m_db.prepare("INSERT INTO demandes_code (email, le) VALUES (?1, ?2)")
            .bind(1, identity.email)
            .bind(2, now)
            .run();
        // A new code replaces the previous one and its count of attempts.
        m_db.prepare("INSERT OR REPLACE INTO codes (email, code, parrainage, emis_le, essais) "
                     "VALUES (?1, ?2, ?3, ?4, 0)")
            .bind(1, identity.email)
            .bind(2, codeDigest(identity.email, code))
            .bind(3, identity.referral)
            .bind(4, now)
            .run();
        transaction.commit();
    }
    m_mailbox.deliver(identity.email, code, now + codeValidity);
    return Reply::json(200,
                       {{QStringLiteral("envoye"), true},
                        {QStringLiteral("expiration"), ParisWeek::isoDate(now + codeValidity)}});
}

Reply SignInService::verify(const QByteArray& contentType, const QByteArray& body,
                            const QString& origin) {
    Identity identity;
    if (auto refusal = readIdentity(contentType, body, true, &identity))
        return *refusal;
    const qint64 now = m_clock.now();
    auto lock = m_db.lock();
    Database::Transaction transaction(m_db);
    if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
        return Reply::error(400, QStringLiteral("parrainage"));

    auto locked = m_db.prepare("SELECT jusqu_au FROM verrous WHERE email = ?1 AND jusqu_au > ?2");
    locked.bind(1, identity.email).bind(2, now);
    if (locked.step())
        return Reply::wait(QStringLiteral("trop-d-essais"), locked.integer(0) - now);

    auto pending =
        m_db.prepare("SELECT code, parrainage, emis_le, essais FROM codes WHERE email = ?1");
    pending.bind(1, identity.email);
    if (!pending.step() || pending.integer(2) + codeValidity <= now)
        return Reply::error(400, QStringLiteral("code-expire"));
    const QString digest = pending.text(0);
    const std::optional<QString> storedReferral = pending.optionalText(1);
    const qint64 attempts = pending.integer(3) + 1;

    if (codeDigest(identity.email, *identity.code) != digest) {
        const qint64 left = maxAttempts - attempts;
        if (left <= 0) {
            m_db.prepare("DELETE FROM codes WHERE email = ?1").bind(1, identity.email).run();
            m_db.prepare("INSERT OR REPLACE INTO verrous (email, jusqu_au) VALUES (?1, ?2)")
                .bind(1, identity.email)
                .bind(2, now + lockout)
                .run();
        } else {
            m_db.prepare("UPDATE codes SET essais = ?2 WHERE email = ?1")
                .bind(1, identity.email)
                .bind(2, attempts)
                .run();
        }
        transaction.commit();
        return Reply::error(400, QStringLiteral("code-faux"),
                            {{QStringLiteral("essaisRestants"), std::max<qint64>(left, 0)}});
    }

    m_db.prepare("DELETE FROM codes WHERE email = ?1").bind(1, identity.email).run();
    m_db.prepare("DELETE FROM verrous WHERE email = ?1").bind(1, identity.email).run();

    auto account = m_accounts.byEmail(identity.email);
    const bool existed = account.has_value();
    if (!existed) {
        account = m_accounts.create(identity.email, now);
        Log::line(QStringLiteral("Nouveau compte : %1").arg(identity.email));
    }

    QJsonObject answer;
    const std::optional<QString> referral = identity.referral ? identity.referral : storedReferral;
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
                  m_accounts.json(*m_accounts.byId(account->id), now, origin));
    transaction.commit();
    return Reply::json(200, answer);
}

} // namespace parlova::relay
