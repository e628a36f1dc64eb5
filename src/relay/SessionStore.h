#pragma once

#include "relay/Database.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace parlova::relay {

// Session tokens: handed out once at sign-in, stored only as digests. A
// session unused for `maxIdle` seconds expires. Called with the database
// lock held.
class SessionStore {
public:
    SessionStore(Database& db, qint64 maxIdle);

    // A new token for the account; only its digest is kept.
    QString open(qint64 accountId, qint64 now);
    // The account of a token, none when unknown, revoked or expired. Its use
    // is recorded (at most once a day, so that reads stay reads).
    std::optional<qint64> accountOf(const QString& token, qint64 now);
    void revoke(const QString& token);
    // Drops the expired sessions.
    void purge(qint64 now);

    // The token of an "Authorization: Bearer …" header, empty when the header
    // has another form.
    static QString bearer(const QByteArray& authorization);

private:
    Database& m_db;
    const qint64 m_maxIdle;
};

} // namespace parlova::relay
