#pragma once

#include "relay/Database.h"

struct sqlite3;

namespace parlova::relay {

// The relay's own SQLite file, in WAL mode: one process on one machine.
class SqliteDatabase : public Database {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase() override;

    Started open(const QString& path) override;
    void close() override;
    QString name() const override { return m_path; }
    void exec(const char* sql) override;

protected:
    std::unique_ptr<Cursor> cursor(const char* sql) override;
    void begin() override;
    qint64 storedVersion() override;
    void storeVersion(qint64 version) override;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
};

} // namespace parlova::relay
