#pragma once

#include "relay/Database.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace parlova::relay {

// Session tokens: handed out once at sign-in, stored only as digests.
// Called with the database lock held.
class SessionStore {
public:
    explicit SessionStore(Database& db);

    // A new token for the account; only its digest is kept.
    QString open(qint64 accountId, qint64 now);
    // The account of a token, none when unknown or revoked.
    std::optional<qint64> accountOf(const QString& token);
    void revoke(const QString& token);

    // The token of an "Authorization: Bearer …" header, empty when the header
    // has another form.
    static QString bearer(const QByteArray& authorization);

private:
    Database& m_db;
};

} // namespace parlova::relay
