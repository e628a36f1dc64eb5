#pragma once

#include "relay/Outcome.h"
#include "relay/Pages.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace parlova::relay {

class AccountStore;
class Clock;
class Database;
class SessionStore;
class SignInStore;

// The session's account: "api/compte" (read, delete), "api/deconnexion",
// the invitation page, and the control route that adjusts an account.
class AccountService {
public:
    AccountService(Database& db, const Clock& clock, AccountStore& accounts, SessionStore& sessions,
                   SignInStore& signIns, const QString& origin);

    // The account of the request's bearer token, none when it has no valid one.
    std::optional<qint64> authenticate(const QByteArray& authorization);

    // The account as the client reads it; SignedOut when it is gone.
    Outcome<QJsonObject> read(qint64 accountId);
    Outcome<Done> remove(qint64 accountId);
    Outcome<Done> signOut(const QByteArray& authorization);

    // UnknownInvitation for a code that no account has.
    Outcome<Page> invitationPage(const QString& code);

    // Control: {"email", "offre": "gratuit"|"essai"|"offert", "jours": N,
    // "mots": N}, each but "email" optional. Gives the account as read.
    Outcome<QJsonObject> adjust(const QByteArray& contentType, const QByteArray& body);

    // Drops expired sessions and the kept weeks that have ended.
    void purge();

private:
    Database& m_db;
    const Clock& m_clock;
    AccountStore& m_accounts;
    SessionStore& m_sessions;
    SignInStore& m_signIns;
    // The relay's, set once it listens.
    const QString& m_origin;
};

} // namespace parlova::relay
