#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace parlova::relay {

class Database;
class KeyedDigest;

// The sign-in tables: pending codes (as keyed digests, several per address),
// code requests of the last hour with the client that made them, and the
// wrong guesses of each client. Called with the database guard held.
class SignInStore {
public:
    struct PendingCode {
        QString digest;
        std::optional<QString> referral;
        qint64 issuedAt = 0;
        qint64 attempts = 0;
    };
    // How many rows a window holds, and when its oldest and latest were made.
    struct Window {
        qint64 count = 0;
        qint64 oldest = 0;
        qint64 latest = 0;
    };

    SignInStore(Database& db, const KeyedDigest& digest);

    Window requestsSince(const QString& email, qint64 since);
    Window clientRequestsSince(const QString& client, qint64 since);
    Window allRequestsSince(qint64 since);
    void recordRequest(const QString& email, const QString& client, qint64 now);

    // A new code joins those already sent; only the `keep` newest stay.
    void saveCode(const QString& email, const QString& code, const std::optional<QString>& referral,
                  qint64 now, int keep);
    // The address's codes issued after `since` that have had fewer than
    // `maxAttempts` wrong guesses, newest first.
    std::vector<PendingCode> liveCodes(const QString& email, qint64 since, qint64 maxAttempts);
    bool matches(const PendingCode& pending, const QString& email, const QString& code) const;
    // A wrong guess counts against every code of the address; a code that
    // reaches `maxAttempts` is burnt.
    void countWrongGuess(const QString& email, qint64 maxAttempts);
    void dropCodes(const QString& email);

    Window failuresSince(const QString& client, const QString& email, qint64 since);
    Window clientFailuresSince(const QString& client, qint64 since);
    void recordFailure(const QString& client, const QString& email, qint64 now);
    void clearFailures(const QString& client, const QString& email);

    // Every row that names the address: its codes, requests and failures.
    void forget(const QString& email);
    // Codes past their validity, requests older than the window, failures
    // older than their memory.
    void purge(qint64 now, qint64 codeValidity, qint64 window, qint64 failureMemory);

private:
    QString codeDigest(const QString& email, const QString& code) const;
    // COUNT, MIN and MAX of `le` over the rows (a FROM … WHERE … clause).
    Window window(const char* rows, const auto& bind);

    Database& m_db;
    const KeyedDigest& m_digest;
};

} // namespace parlova::relay
