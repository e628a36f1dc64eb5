#include "relay/SignInStore.h"

#include "relay/Database.h"
#include "relay/KeyedDigest.h"

namespace parlova::relay {

SignInStore::SignInStore(Database& db, const KeyedDigest& digest)
    : m_db(db)
    , m_digest(digest) {}

QString SignInStore::codeDigest(const QString& email, const QString& code) const {
    return m_digest.of(email + u':' + code);
}

SignInStore::Window SignInStore::window(const char* rows, const auto& bind) {
    const QByteArray sql =
        QByteArrayLiteral("SELECT COUNT(*), COALESCE(MIN(le), 0), COALESCE(MAX(le), 0) ") + rows;
    auto statement = m_db.prepare(sql.constData());
    bind(statement);
    statement.step();
    return {statement.integer(0), statement.integer(1), statement.integer(2)};
}

SignInStore::Window SignInStore::requestsSince(const QString& email, qint64 since) {
    return window("FROM demandes_code WHERE email = ?1 AND le > ?2",
                  [&](Database::Statement& s) { s.bind(1, email).bind(2, since); });
}

SignInStore::Window SignInStore::clientRequestsSince(const QString& client, qint64 since) {
    return window("FROM demandes_code WHERE client = ?1 AND le > ?2",
                  [&](Database::Statement& s) { s.bind(1, client).bind(2, since); });
}

SignInStore::Window SignInStore::allRequestsSince(qint64 since) {
    return window("FROM demandes_code WHERE le > ?1",
                  [&](Database::Statement& s) { s.bind(1, since); });
}

void SignInStore::recordRequest(const QString& email, const QString& client, qint64 now) {
    m_db.prepare("INSERT INTO demandes_code (email, client, le) VALUES (?1, ?2, ?3)")
        .bind(1, email)
        .bind(2, client)
        .bind(3, now)
        .run();
}

void SignInStore::saveCode(const QString& email, const QString& code,
                           const std::optional<QString>& referral, qint64 now, int keep) {
    m_db.prepare("INSERT INTO codes (email, code, parrainage, emis_le, essais) "
                 "VALUES (?1, ?2, ?3, ?4, 0)")
        .bind(1, email)
        .bind(2, codeDigest(email, code))
        .bind(3, referral)
        .bind(4, now)
        .run();
    m_db.prepare("DELETE FROM codes WHERE email = ?1 AND id NOT IN "
                 "(SELECT id FROM codes WHERE email = ?1 ORDER BY id DESC LIMIT ?2)")
        .bind(1, email)
        .bind(2, qint64(keep))
        .run();
}

std::vector<SignInStore::PendingCode> SignInStore::liveCodes(const QString& email, qint64 since,
                                                             qint64 maxAttempts) {
    auto statement = m_db.prepare("SELECT code, parrainage, emis_le, essais FROM codes "
                                  "WHERE email = ?1 AND emis_le > ?2 AND essais < ?3 "
                                  "ORDER BY id DESC");
    statement.bind(1, email).bind(2, since).bind(3, maxAttempts);
    std::vector<PendingCode> codes;
    while (statement.step())
        codes.push_back({statement.text(0), statement.optionalText(1), statement.integer(2),
                         statement.integer(3)});
    return codes;
}

bool SignInStore::matches(const PendingCode& pending, const QString& email,
                          const QString& code) const {
    return codeDigest(email, code) == pending.digest;
}

void SignInStore::countWrongGuess(const QString& email, qint64 maxAttempts) {
    m_db.prepare("UPDATE codes SET essais = essais + 1 WHERE email = ?1").bind(1, email).run();
    m_db.prepare("DELETE FROM codes WHERE email = ?1 AND essais >= ?2")
        .bind(1, email)
        .bind(2, maxAttempts)
        .run();
}

void SignInStore::dropCodes(const QString& email) {
    m_db.prepare("DELETE FROM codes WHERE email = ?1").bind(1, email).run();
}

SignInStore::Window SignInStore::failuresSince(const QString& client, const QString& email,
                                               qint64 since) {
    return window("FROM echecs_code WHERE client = ?1 AND email = ?2 AND le > ?3",
                  [&](Database::Statement& s) { s.bind(1, client).bind(2, email).bind(3, since); });
}

SignInStore::Window SignInStore::clientFailuresSince(const QString& client, qint64 since) {
    return window("FROM echecs_code WHERE client = ?1 AND le > ?2",
                  [&](Database::Statement& s) { s.bind(1, client).bind(2, since); });
}

void SignInStore::recordFailure(const QString& client, const QString& email, qint64 now) {
    m_db.prepare("INSERT INTO echecs_code (client, email, le) VALUES (?1, ?2, ?3)")
        .bind(1, client)
        .bind(2, email)
        .bind(3, now)
        .run();
}

void SignInStore::clearFailures(const QString& client, const QString& email) {
    m_db.prepare("DELETE FROM echecs_code WHERE client = ?1 AND email = ?2")
        .bind(1, client)
        .bind(2, email)
        .run();
}

void SignInStore::forget(const QString& email) {
    for (const char* sql :
         {"DELETE FROM codes WHERE email = ?1", "DELETE FROM demandes_code WHERE email = ?1",
          "DELETE FROM echecs_code WHERE email = ?1"})
        m_db.prepare(sql).bind(1, email).run();
}

void SignInStore::purge(qint64 now, qint64 codeValidity, qint64 window, qint64 failureMemory) {
    m_db.prepare("DELETE FROM codes WHERE emis_le <= ?1").bind(1, now - codeValidity).run();
    m_db.prepare("DELETE FROM demandes_code WHERE le <= ?1").bind(1, now - window).run();
    m_db.prepare("DELETE FROM echecs_code WHERE le <= ?1").bind(1, now - failureMemory).run();
}

} // namespace parlova::relay
