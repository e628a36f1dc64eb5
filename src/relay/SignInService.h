#pragma once

#include "relay/Reply.h"

#include <QByteArray>
#include <QString>

namespace parlova::relay {

class AccountStore;
class Clock;
class CodeMailbox;
class Database;
class SessionStore;
class SignInStore;

// Sign-in by one-time code: "api/connexion/code" and "api/connexion/verifier".
//
// A code has six digits, is valid for ten minutes and allows five attempts;
// the fifth wrong attempt burns it and locks the address for fifteen minutes
// ("trop-d-essais"). An address may ask for five codes per rolling hour
// ("trop-de-codes"), and the whole relay sends at most maxCodesPerHourAll in
// an hour, so that nobody can use it to flood mailboxes or fill its tables.
// A new account that signs in with a friend's referral
// code gets a month of gifted Pro.
class SignInService {
public:
    static constexpr qint64 codeValidity = 600;
    static constexpr int maxAttempts = 5;
    static constexpr qint64 lockout = 900;
    static constexpr int maxCodesPerHour = 5;
    static constexpr int maxCodesPerHourAll = 500;
    static constexpr qint64 requestWindow = 3600;

    SignInService(Database& db, const Clock& clock, AccountStore& accounts, SessionStore& sessions,
                  SignInStore& store, CodeMailbox& mailbox, const QString& origin);

    Reply requestCode(const QByteArray& contentType, const QByteArray& body);
    Reply verify(const QByteArray& contentType, const QByteArray& body);

    // Drops expired codes, old requests and ended locks.
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
