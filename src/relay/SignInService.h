#pragma once

#include "relay/Outcome.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace parlova::relay {

class AccountStore;
class Clock;
class CodeMailbox;
class Database;
class SessionStore;
class SignInStore;

// Sign-in by one-time code: "api/connexion/code" and "api/connexion/verifier".
//
// A code has six digits and is valid for ten minutes; a new request adds a
// code without ending those already sent, the last maxLiveCodes of them stay
// valid until they expire or one is used. Limits fall on the client (its
// address, an IPv6 client by its /64) rather than on the address it names,
// so that no client can lock anyone else out:
// - codes: five per mail address and thirty per client in a rolling hour
//   ("trop-de-codes"), and as a last resort maxCodesPerHourAll for the whole
//   relay, which takes twenty clients to spend;
// - guesses: a client that guessed wrong maxAttempts times for one address
//   waits (lockout, doubled by each further wrong guess, "trop-d-essais"),
//   and makes at most maxFailuresPerHour wrong guesses in an hour whatever
//   the addresses. Since the first wait outlasts a code, no client gets more
//   than maxAttempts guesses at one code; a code that all clients together
//   guessed wrong maxGuessesPerCode times is burnt.
// A new account that signs in with a friend's referral code gets a month of
// gifted Pro, once per mailbox.
class SignInService {
public:
    static constexpr qint64 codeValidity = 600;
    static constexpr int maxLiveCodes = 3;
    static constexpr int maxAttempts = 5;
    static constexpr qint64 lockout = 900;
    static constexpr qint64 longestLockout = 24 * 3600;
    static constexpr qint64 failureMemory = 24 * 3600;
    static constexpr int maxFailuresPerHour = 30;
    static constexpr int maxGuessesPerCode = 20;
    static constexpr int maxCodesPerHour = 5;
    static constexpr int maxCodesPerHourPerClient = 30;
    static constexpr int maxCodesPerHourAll = 20 * maxCodesPerHourPerClient;
    static constexpr qint64 requestWindow = 3600;

    // What became of the referral code that a sign-in carried.
    enum class Referral { ExistingAccount, Refused, Applied };

    // A code on its way to the mailbox.
    struct CodeSent {
        qint64 expiresAt = 0;
    };

    struct SignedIn {
        QString token;
        QJsonObject account; // as the client reads it
        std::optional<Referral> referral;
    };

    SignInService(Database& db, const Clock& clock, AccountStore& accounts, SessionStore& sessions,
                  SignInStore& store, CodeMailbox& mailbox, const QString& origin);

    // `client` is the peer address of the connection, as text.
    Outcome<CodeSent> requestCode(const QString& client, const QByteArray& contentType,
                                  const QByteArray& body);
    Outcome<SignedIn> verify(const QString& client, const QByteArray& contentType,
                             const QByteArray& body);

    // The key that a client's limits are counted under: its IPv4 address
    // (an IPv4-mapped one unwrapped), or the /64 network of an IPv6 one.
    static QString clientKey(const QString& address);

    // Drops expired codes, old requests and forgotten wrong guesses.
    void purge();

private:
    Database& m_db;
    const Clock& m_clock;
    AccountStore& m_accounts;
    SessionStore& m_sessions;
    SignInStore& m_store;
    CodeMailbox& m_mailbox;
    // The relay's, set once it listens.
    const QString& m_origin;
};

} // namespace parlova::relay
