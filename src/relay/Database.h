#pragma once

#include "relay/Outcome.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

namespace parlova::relay {

// A storage fault (disk full, corrupt file, lost server): never an answer to
// a client's mistake. The HTTP layer turns it into a 500 answer and the
// transaction in progress is rolled back.
class StorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the relay keeps its accounts: an SQLite file of its own, or a
// PostgreSQL database that several relay processes share. The stores speak
// one SQL to both (parameters written ?1, ?2…); a process holds one
// connection, used by one thread at a time (see lock()), and every
// transaction excludes those of the other processes, so that what a relay
// checks before writing still holds when it writes.
class Database {
public:
    // The layout the stores expect. A base made by a later relay is refused.
    static constexpr qint64 schemaVersion = 4;

    // SQLite when `base` is empty, else the PostgreSQL database it names.
    static std::unique_ptr<Database> create(const QString& base);

    virtual ~Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (or creates) the base and brings its tables up to date; a French
    // message when it cannot. `location` is the SQLite file or the URI.
    virtual Started open(const QString& location) = 0;
    virtual void close() = 0;
    // How the base is named in messages (never with a password).
    virtual QString name() const = 0;

    // Every use of the connection happens while holding this lock.
    [[nodiscard]] std::unique_lock<std::mutex> lock() { return std::unique_lock(m_mutex); }

    // One statement of an engine, as the stores use it.
    class Cursor {
    public:
        virtual ~Cursor() = default;
        virtual void bind(int index, qint64 value) = 0;
        virtual void bind(int index, const QString& value) = 0;
        // A NULL, of the integer or the text kind.
        virtual void bindNull(int index, bool integer) = 0;
        virtual bool step() = 0;
        virtual bool isNull(int column) const = 0;
        virtual qint64 integer(int column) const = 0;
        virtual QString text(int column) const = 0;
    };

    class Statement {
    public:
        explicit Statement(std::unique_ptr<Cursor> cursor)
            : m_cursor(std::move(cursor)) {}

        // Parameters are numbered from 1. The text is copied.
        Statement& bind(int index, qint64 value);
        Statement& bind(int index, const QString& value);
        Statement& bind(int index, std::optional<qint64> value);
        Statement& bind(int index, const std::optional<QString>& value);

        // True while a row is there to read.
        bool step() { return m_cursor->step(); }
        // Runs a statement that returns no row.
        void run();
        // Runs an INSERT … RETURNING id and gives the new row's id.
        qint64 insertedId();

        qint64 integer(int column) const { return m_cursor->integer(column); }
        std::optional<qint64> optionalInteger(int column) const;
        QString text(int column) const { return m_cursor->text(column); }
        std::optional<QString> optionalText(int column) const;

    private:
        std::unique_ptr<Cursor> m_cursor;
    };

    Statement prepare(const char* sql) { return Statement(cursor(sql)); }
    // Statements without parameters, several at once.
    virtual void exec(const char* sql) = 0;

    // A transaction that no other process's can interleave with, rolled
    // back when left without commit().
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

protected:
    Database() = default;

    virtual std::unique_ptr<Cursor> cursor(const char* sql) = 0;
    // Each engine starts a transaction its own way; both end it alike.
    virtual void begin() = 0;
    void commit() { exec("COMMIT"); }
    void rollback() { exec("ROLLBACK"); }

    // The version a base records, 0 for a new one.
    virtual qint64 storedVersion() = 0;
    virtual void storeVersion(qint64 version) = 0;

    // The statements that bring a base to `version` from the one before.
    struct Migration {
        qint64 version;
        std::vector<const char*> statements;
    };
    // Runs, in one transaction, the migrations the base has not had yet; a
    // French message for a base newer than this relay.
    Started migrate(const std::vector<Migration>& migrations);

private:
    std::mutex m_mutex;
};

} // namespace parlova::relay
