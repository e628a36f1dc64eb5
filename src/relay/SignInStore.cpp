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

SignInStore::Requests SignInStore::requestsSince(const QString& email, qint64 since) {
    auto statement = m_db.prepare(
        "SELECT COUNT(*), COALESCE(MIN(le), 0) FROM demandes_code WHERE email = ?1 AND le > ?2");
    statement.bind(1, email).bind(2, since);
    statement.step();
    return {statement.integer(0), statement.integer(1)};
}

SignInStore::Requests SignInStore::allRequestsSince(qint64 since) {
    auto statement =
        m_db.prepare("SELECT COUNT(*), COALESCE(MIN(le), 0) FROM demandes_code WHERE le > ?1");
    statement.bind(1, since);
    statement.step();
    return {statement.integer(0), statement.integer(1)};
}

void SignInStore::recordRequest(const QString& email, qint64 now) {
    m_db.prepare("INSERT INTO demandes_code (email, le) VALUES (?1, ?2)")
        .bind(1, email)
        .bind(2, now)
        .run();
}

void SignInStore::saveCode(const QString& email, const QString& code,
                           const std::optional<QString>& referral, qint64 now) {
    m_db.prepare("INSERT OR REPLACE INTO codes (email, code, parrainage, emis_le, essais) "
                 "VALUES (?1, ?2, ?3, ?4, 0)")
        .bind(1, email)
        .bind(2, codeDigest(email, code))
        .bind(3, referral)
        .bind(4, now)
        .run();
}

std::optional<SignInStore::PendingCode> SignInStore::pendingCode(const QString& email) {
    auto statement =
        m_db.prepare("SELECT code, parrainage, emis_le, essais FROM codes WHERE email = ?1");
    statement.bind(1, email);
    if (!statement.step())
        return std::nullopt;
    return PendingCode{statement.text(0), statement.optionalText(1), statement.integer(2),
                       statement.integer(3)};
}

bool SignInStore::matches(const PendingCode& pending, const QString& email,
                          const QString& code) const {
    return codeDigest(email, code) == pending.digest;
}

void SignInStore::setAttempts(const QString& email, qint64 attempts) {
    m_db.prepare("UPDATE codes SET essais = ?2 WHERE email = ?1")
        .bind(1, email)
        .bind(2, attempts)
        .run();
}

void SignInStore::dropCode(const QString& email) {
    m_db.prepare("DELETE FROM codes WHERE email = ?1").bind(1, email).run();
}

std::optional<qint64> SignInStore::lockedUntil(const QString& email, qint64 now) {
    auto statement =
        m_db.prepare("SELECT jusqu_au FROM verrous WHERE email = ?1 AND jusqu_au > ?2");
    statement.bind(1, email).bind(2, now);
    if (!statement.step())
        return std::nullopt;
    return statement.integer(0);
}

void SignInStore::lock(const QString& email, qint64 until) {
    m_db.prepare("INSERT OR REPLACE INTO verrous (email, jusqu_au) VALUES (?1, ?2)")
        .bind(1, email)
        .bind(2, until)
        .run();
}

void SignInStore::unlock(const QString& email) {
    m_db.prepare("DELETE FROM verrous WHERE email = ?1").bind(1, email).run();
}

void SignInStore::forget(const QString& email) {
    for (const char* sql :
         {"DELETE FROM codes WHERE email = ?1", "DELETE FROM demandes_code WHERE email = ?1",
          "DELETE FROM verrous WHERE email = ?1"})
        m_db.prepare(sql).bind(1, email).run();
}

void SignInStore::purge(qint64 now, qint64 codeValidity, qint64 window) {
    m_db.prepare("DELETE FROM codes WHERE emis_le <= ?1").bind(1, now - codeValidity).run();
    m_db.prepare("DELETE FROM demandes_code WHERE le <= ?1").bind(1, now - window).run();
    m_db.prepare("DELETE FROM verrous WHERE jusqu_au <= ?1").bind(1, now).run();
}

} // namespace parlova::relay
