#pragma once

#include "relay/Outcome.h"

#include <QString>

#include <mutex>
#include <optional>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace parlova::relay {

// A storage fault (disk full, corrupt file): never an answer to a client's
// mistake. The HTTP layer turns it into a 500 answer and the transaction in
// progress is rolled back.
class StorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The relay's SQLite file, in WAL mode, used through one connection that one
// thread at a time holds (see lock()).
class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (or creates) the file and brings its tables up to date; a French
    // message when it cannot.
    Started open(const QString& path);
    void close();

    // Every use of the connection happens while holding this lock.
    [[nodiscard]] std::unique_lock<std::mutex> lock() { return std::unique_lock(m_mutex); }

    class Statement {
    public:
        Statement(sqlite3* db, const char* sql);
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        // Parameters are numbered from 1. The text is copied.
        Statement& bind(int index, qint64 value);
        Statement& bind(int index, const QString& value);
        Statement& bind(int index, std::optional<qint64> value);
        Statement& bind(int index, const std::optional<QString>& value);

        // True while a row is there to read.
        bool step();
        // Runs a statement that returns no row.
        void run();

        qint64 integer(int column) const;
        std::optional<qint64> optionalInteger(int column) const;
        QString text(int column) const;
        std::optional<QString> optionalText(int column) const;

    private:
        sqlite3* m_db;
        sqlite3_stmt* m_statement = nullptr;
    };

    Statement prepare(const char* sql) { return Statement(m_db, sql); }
    void exec(const char* sql);
    qint64 lastInsertId() const;
    int changes() const;

    // BEGIN IMMEDIATE … COMMIT, rolled back when left without commit().
    class Transaction {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        Database& m_db;
        bool m_done = false;
    };

    // The lock and a transaction in one: what every service holds while it
    // reads and writes. Rolled back and unlocked when left without commit().
    class Guard {
    public:
        explicit Guard(Database& db)
            : m_lock(db.lock())
            , m_transaction(db) {}
        void commit() { m_transaction.commit(); }

    private:
        std::unique_lock<std::mutex> m_lock;
        Transaction m_transaction;
    };

private:
    sqlite3* m_db = nullptr;
    std::mutex m_mutex;
};

} // namespace parlova::relay
