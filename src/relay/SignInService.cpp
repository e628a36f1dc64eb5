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

#include <arpa/inet.h>

#include <algorithm>

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

QString SignInService::clientKey(const QString& address) {
    QString text = address.trimmed().toLower();
    if (text.startsWith(u"::ffff:") && text.count(u'.') == 3)
        text = text.mid(7);
    const QByteArray latin = text.toLatin1();
    in6_addr v6{};
    if (!text.contains(u':') || inet_pton(AF_INET6, latin.constData(), &v6) != 1)
        return text;
    // One subscriber commonly holds a whole /64: it counts as one client.
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(v6.s6_addr), 8).toHex()) +
           QStringLiteral("::/64");
}

void SignInService::purge() {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    m_store.purge(now, codeValidity, requestWindow, failureMemory);
    guard.commit();
}

Reply SignInService::requestCode(const QString& client, const QByteArray& contentType,
                                 const QByteArray& body) {
    Identity identity;
    if (auto refusal = readIdentity(contentType, body, false, &identity))
        return *refusal;
    const QString from = clientKey(client);
    const qint64 now = m_clock.now();
    const QString code = Secrets::randomDigits(6);
    {
        Database::Guard guard(m_db);
        if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
            return Reply::error(400, QStringLiteral("parrainage"));
        const qint64 since = now - requestWindow;
        const auto mine = m_store.requestsSince(identity.email, since);
        const auto theirs = m_store.clientRequestsSince(from, since);
        const auto all = m_store.allRequestsSince(since);
        std::optional<qint64> tooMany;
        if (mine.count >= maxCodesPerHour)
            tooMany = mine.oldest;
        else if (theirs.count >= maxCodesPerHourPerClient)
            tooMany = theirs.oldest;
        else if (all.count >= maxCodesPerHourAll)
            tooMany = all.oldest;
        if (tooMany)
            return Reply::wait(QStringLiteral("trop-de-codes"),
                               std::max<qint64>(*tooMany + requestWindow - now, 1));
        m_store.recordRequest(identity.email, from, now);
        m_store.saveCode(identity.email, code, identity.referral, now, maxLiveCodes);
        guard.commit();
    }
    m_mailbox.deliver(identity.email, code, now + codeValidity);
    return Reply::json(200,
                       {{QStringLiteral("envoye"), true},
                        {QStringLiteral("expiration"), ParisWeek::isoDate(now + codeValidity)}});
}

Reply SignInService::verify(const QString& client, const QByteArray& contentType,
                            const QByteArray& body) {
    Identity identity;
    if (auto refusal = readIdentity(contentType, body, true, &identity))
        return *refusal;
    const QString from = clientKey(client);
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
        return Reply::error(400, QStringLiteral("parrainage"));

    // The guesser waits, not the address: another client's code still works.
    const auto failures = m_store.failuresSince(from, identity.email, now - failureMemory);
    if (failures.count >= maxAttempts) {
        const qint64 wait =
            std::min(lockout << std::min<qint64>(failures.count - maxAttempts, 20), longestLockout);
        if (failures.latest + wait > now)
            return Reply::wait(QStringLiteral("trop-d-essais"), failures.latest + wait - now);
    }
    const auto recent = m_store.clientFailuresSince(from, now - requestWindow);
    if (recent.count >= maxFailuresPerHour)
        return Reply::wait(QStringLiteral("trop-d-essais"),
                           std::max<qint64>(recent.oldest + requestWindow - now, 1));

    const auto live = m_store.liveCodes(identity.email, now - codeValidity, maxGuessesPerCode);
    if (live.empty())
        return Reply::error(400, QStringLiteral("code-expire"));
    const auto pending = std::find_if(live.begin(), live.end(), [&](const auto& candidate) {
        return m_store.matches(candidate, identity.email, *identity.code);
    });

    if (pending == live.end()) {
        m_store.recordFailure(from, identity.email, now);
        m_store.countWrongGuess(identity.email, maxGuessesPerCode);
        guard.commit();
        return Reply::error(400, QStringLiteral("code-faux"),
                            {{QStringLiteral("essaisRestants"),
                              std::max<qint64>(maxAttempts - failures.count - 1, 0)}});
    }

    m_store.dropCodes(identity.email);
    m_store.clearFailures(from, identity.email);

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
        else if (!referrer || m_accounts.mailboxKnown(identity.email, account->id) ||
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
