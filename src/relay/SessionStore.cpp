#include "relay/SessionStore.h"

#include "relay/Secrets.h"

namespace parlova::relay {

namespace {

constexpr qint64 useRecordedEvery = 24 * 3600;

} // namespace

SessionStore::SessionStore(Database& db, qint64 maxIdle)
    : m_db(db)
    , m_maxIdle(maxIdle) {}

QString SessionStore::open(qint64 accountId, qint64 now) {
    const QString token = Secrets::newToken();
    m_db.prepare(
            "INSERT INTO sessions (jeton, compte, cree_le, utilise_le) VALUES (?1, ?2, ?3, ?3)")
        .bind(1, Secrets::sha256(token))
        .bind(2, accountId)
        .bind(3, now)
        .run();
    return token;
}

std::optional<qint64> SessionStore::accountOf(const QString& token, qint64 now) {
    if (token.isEmpty())
        return std::nullopt;
    const QString digest = Secrets::sha256(token);
    auto statement = m_db.prepare("SELECT compte, utilise_le FROM sessions WHERE jeton = ?1");
    statement.bind(1, digest);
    if (!statement.step())
        return std::nullopt;
    const qint64 account = statement.integer(0);
    const qint64 usedAt = statement.integer(1);
    if (usedAt + m_maxIdle <= now) {
        m_db.prepare("DELETE FROM sessions WHERE jeton = ?1").bind(1, digest).run();
        return std::nullopt;
    }
    if (usedAt + useRecordedEvery <= now)
        m_db.prepare("UPDATE sessions SET utilise_le = ?2 WHERE jeton = ?1")
            .bind(1, digest)
            .bind(2, now)
            .run();
    return account;
}

void SessionStore::purge(qint64 now) {
    m_db.prepare("DELETE FROM sessions WHERE utilise_le <= ?1").bind(1, now - m_maxIdle).run();
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
