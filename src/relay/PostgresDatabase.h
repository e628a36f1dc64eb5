#pragma once

#include "relay/Database.h"

#include <QByteArray>

struct pg_conn;

namespace parlova::relay {

// A PostgreSQL database that several relay processes share, on one machine
// or several. Each transaction holds one advisory lock of the database, so
// that the transactions of all the processes follow one another as those of
// one process do on SQLite: a weekly cap checked in one process is still the
// cap when another charges it.
class PostgresDatabase : public Database {
public:
    PostgresDatabase();
    ~PostgresDatabase() override;

    // `uri` is a libpq connection URI (postgresql://…).
    Started open(const QString& uri) override;
    void close() override;
    QString name() const override { return m_name; }
    void exec(const char* sql) override;

    // Whether the text names a PostgreSQL base rather than a file.
    static bool isUri(const QString& text);

    class Statements;

protected:
    std::unique_ptr<Cursor> cursor(const char* sql) override;
    void begin() override;
    qint64 storedVersion() override;
    void storeVersion(qint64 version) override;

private:
    std::unique_ptr<Statements> m_statements;
    pg_conn* m_conn = nullptr;
    QString m_name;
};

} // namespace parlova::relay
