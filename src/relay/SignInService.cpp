#include "relay/SignInService.h"

#include "protocol/Member.h"
#include "relay/AccountStore.h"
#include "relay/Clock.h"
#include "relay/CodeMailbox.h"
#include "relay/Database.h"
#include "relay/EmailAddress.h"
#include "relay/JsonBody.h"
#include "relay/Log.h"
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

Outcome<Identity> readIdentity(const QByteArray& contentType, const QByteArray& body,
                               bool withCode) {
    const auto parsed = JsonBody::read(contentType, body);
    if (!parsed)
        return parsed.failure();
    const QJsonObject& object = *parsed;
    Identity identity;
    std::optional<QString> email;
    std::optional<QString> referral;
    if (!JsonBody::text(object, protocol::Member::email, true, &email) ||
        !JsonBody::text(object, protocol::Member::referral, false, &referral) ||
        (withCode && !JsonBody::text(object, protocol::Member::code, true, &identity.code)))
        return Refusal::MalformedJson;
    const auto address = EmailAddress::normalized(*email);
    if (!address)
        return Refusal::InvalidEmail;
    identity.email = *address;
    if (referral) {
        identity.referral = ReferralCodes::normalized(*referral);
        if (!identity.referral)
            return Refusal::InvalidReferral;
    }
    return identity;
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

Outcome<SignInService::CodeSent> SignInService::requestCode(const QString& client,
                                                            const QByteArray& contentType,
                                                            const QByteArray& body) {
    const auto read = readIdentity(contentType, body, false);
    if (!read)
        return read.failure();
    const Identity& identity = *read;
    const QString from = clientKey(client);
    const qint64 now = m_clock.now();
    const QString code = Secrets::randomDigits(6);
    {
        Database::Guard guard(m_db);
        if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
            return Refusal::InvalidReferral;
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
            return Refused::waiting(Refusal::TooManyCodes,
                                    std::max<qint64>(*tooMany + requestWindow - now, 1));
        m_store.recordRequest(identity.email, from, now);
        m_store.saveCode(identity.email, code, identity.referral, now, maxLiveCodes);
        guard.commit();
    }
    m_mailbox.deliver(identity.email, code, now + codeValidity);
    return CodeSent{now + codeValidity};
}

Outcome<SignInService::SignedIn> SignInService::verify(const QString& client,
                                                       const QByteArray& contentType,
                                                       const QByteArray& body) {
    const auto read = readIdentity(contentType, body, true);
    if (!read)
        return read.failure();
    const Identity& identity = *read;
    const QString from = clientKey(client);
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    if (identity.referral && !m_accounts.byReferralCode(*identity.referral))
        return Refusal::InvalidReferral;

    // The guesser waits, not the address: another client's code still works.
    const auto failures = m_store.failuresSince(from, identity.email, now - failureMemory);
    if (failures.count >= maxAttempts) {
        const qint64 wait =
            std::min(lockout << std::min<qint64>(failures.count - maxAttempts, 20), longestLockout);
        if (failures.latest + wait > now)
            return Refused::waiting(Refusal::TooManyGuesses, failures.latest + wait - now);
    }
    const auto recent = m_store.clientFailuresSince(from, now - requestWindow);
    if (recent.count >= maxFailuresPerHour)
        return Refused::waiting(Refusal::TooManyGuesses,
                                std::max<qint64>(recent.oldest + requestWindow - now, 1));

    const auto live = m_store.liveCodes(identity.email, now - codeValidity, maxGuessesPerCode);
    if (live.empty())
        return Refusal::CodeExpired;
    const auto pending = std::find_if(live.begin(), live.end(), [&](const auto& candidate) {
        return m_store.matches(candidate, identity.email, *identity.code);
    });

    if (pending == live.end()) {
        m_store.recordFailure(from, identity.email, now);
        m_store.countWrongGuess(identity.email, maxGuessesPerCode);
        guard.commit();
        Refused wrong(Refusal::WrongCode);
        wrong.triesLeft = std::max<qint64>(maxAttempts - failures.count - 1, 0);
        return wrong;
    }

    m_store.dropCodes(identity.email);
    m_store.clearFailures(from, identity.email);

    auto account = m_accounts.byEmail(identity.email);
    const bool existed = account.has_value();
    if (!existed) {
        account = m_accounts.create(identity.email, now);
        Log::line(QStringLiteral("Nouveau compte : %1").arg(identity.email));
    }

    SignedIn signedIn;
    const std::optional<QString> referral =
        identity.referral ? identity.referral : pending->referral;
    if (referral) {
        const auto referrer = m_accounts.byReferralCode(*referral);
        if (existed)
            signedIn.referral = Referral::ExistingAccount;
        else if (!referrer || m_accounts.mailboxKnown(identity.email, account->id) ||
                 m_accounts.friendsOf(referrer->id) >= AccountStore::maxFriends)
            signedIn.referral = Referral::Refused;
        else {
            signedIn.referral = Referral::Applied;
            m_accounts.giftMonths(account->id, AccountStore::referralMonths, now);
            m_accounts.recordReferral(referrer->id, identity.email, now);
        }
    }

    signedIn.token = m_sessions.open(account->id, now);
    signedIn.account = m_accounts.json(*m_accounts.byId(account->id), now, m_origin);
    guard.commit();
    return signedIn;
}

} // namespace parlova::relay
