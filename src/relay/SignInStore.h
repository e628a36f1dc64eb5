#pragma once

#include <QString>

#include <optional>

namespace parlova::relay {

class Database;
class KeyedDigest;

// The sign-in tables: pending codes (as keyed digests), code requests of the
// last hour, and locked addresses. Called with the database guard held.
class SignInStore {
public:
    struct PendingCode {
        QString digest;
        std::optional<QString> referral;
        qint64 issuedAt = 0;
        qint64 attempts = 0;
    };
    // How many requests a window holds and when its oldest one was made.
    struct Requests {
        qint64 count = 0;
        qint64 oldest = 0;
    };

    SignInStore(Database& db, const KeyedDigest& digest);

    Requests requestsSince(const QString& email, qint64 since);
    Requests allRequestsSince(qint64 since);
    void recordRequest(const QString& email, qint64 now);

    // A new code replaces the previous one and its count of attempts.
    void saveCode(const QString& email, const QString& code, const std::optional<QString>& referral,
                  qint64 now);
    std::optional<PendingCode> pendingCode(const QString& email);
    bool matches(const PendingCode& pending, const QString& email, const QString& code) const;
    void setAttempts(const QString& email, qint64 attempts);
    void dropCode(const QString& email);

    std::optional<qint64> lockedUntil(const QString& email, qint64 now);
    void lock(const QString& email, qint64 until);
    void unlock(const QString& email);

    // Every row that names the address: its code, requests and lock.
    void forget(const QString& email);
    // Codes past their validity, requests older than the window, ended locks.
    void purge(qint64 now, qint64 codeValidity, qint64 window);

private:
    QString codeDigest(const QString& email, const QString& code) const;

    Database& m_db;
    const KeyedDigest& m_digest;
};

} // namespace parlova::relay
