#include "relay/SessionStore.h"

#include "relay/Secrets.h"

namespace parlova::relay {

SessionStore::SessionStore(Database& db)
    : m_db(db) {}

QString SessionStore::open(qint64 accountId, qint64 now) {
    const QString token = Secrets::newToken();
    m_db.prepare("INSERT INTO sessions (jeton, compte, cree_le) VALUES (?1, ?2, ?3)")
        .bind(1, Secrets::sha256(token))
        .bind(2, accountId)
        .bind(3, now)
        .run();
    return token;
}

std::optional<qint64> SessionStore::accountOf(const QString& token) {
    if (token.isEmpty())
        return std::nullopt;
    auto statement = m_db.prepare("SELECT compte FROM sessions WHERE jeton = ?1");
    statement.bind(1, Secrets::sha256(token));
    if (!statement.step())
        return std::nullopt;
    return statement.integer(0);
}

void SessionStore::revoke(const QString& token) {
    m_db.prepare("DELETE FROM sessions WHERE jeton = ?1").bind(1, Secrets::sha256(token)).run();
}

QString SessionStore::bearer(const QByteArray& authorization) {
    const QByteArray value = authorization.trimmed();
    if (value.size() <= 7 || value.left(7).toLower() != "bearer ")
        return {};
    const QByteArray token = value.mid(7).trimmed();
    // Tokens are URL-safe base 64; anything else cannot be one of ours.
    for (const char c : token)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            return {};
    return QString::fromLatin1(token);
}

} // namespace parlova::relay
