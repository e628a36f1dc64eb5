#include "relay/Database.h"

#include "relay/PostgresDatabase.h"
#include "relay/SqliteDatabase.h"

namespace parlova::relay {

std::unique_ptr<Database> Database::create(const QString& base) {
    if (base.isEmpty())
        return std::make_unique<SqliteDatabase>();
    return std::make_unique<PostgresDatabase>();
}

Database::Statement& Database::Statement::bind(int index, qint64 value) {
    m_cursor->bind(index, value);
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const QString& value) {
    m_cursor->bind(index, value);
    return *this;
}

Database::Statement& Database::Statement::bind(int index, std::optional<qint64> value) {
    if (value)
        m_cursor->bind(index, *value);
    else
        m_cursor->bindNull(index, true);
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const std::optional<QString>& value) {
    if (value)
        m_cursor->bind(index, *value);
    else
        m_cursor->bindNull(index, false);
    return *this;
}

void Database::Statement::run() {
    while (step()) {
    }
}

qint64 Database::Statement::insertedId() {
    if (!step())
        throw StorageError("ligne non créée");
    const qint64 id = integer(0);
    run();
    return id;
}

std::optional<qint64> Database::Statement::optionalInteger(int column) const {
    if (m_cursor->isNull(column))
        return std::nullopt;
    return integer(column);
}

std::optional<QString> Database::Statement::optionalText(int column) const {
    if (m_cursor->isNull(column))
        return std::nullopt;
    return text(column);
}

Database::Transaction::Transaction(Database& db)
    : m_db(db) {
    m_db.begin();
}

Database::Transaction::~Transaction() {
    if (!m_done) {
        try {
            m_db.rollback();
        } catch (const StorageError&) {
            // Nothing more to undo: the engine already rolled back.
        }
    }
}

void Database::Transaction::commit() {
    m_db.commit();
    m_done = true;
}

Started Database::migrate(const std::vector<Migration>& migrations) {
    // Processes that start together on one base: the transaction makes the
    // second wait, then find the work done.
    Transaction transaction(*this);
    const qint64 current = storedVersion();
    if (current > schemaVersion) {
        return QStringLiteral("La base %1 vient d’un relais plus récent (schéma %2 ; celui-ci "
                              "connaît le schéma %3 au plus). Mettez parlova-relais à jour.")
            .arg(name())
            .arg(current)
            .arg(schemaVersion);
    }
    for (const Migration& migration : migrations) {
        if (migration.version <= current)
            continue;
        for (const char* sql : migration.statements)
            exec(sql);
    }
    if (current != schemaVersion)
        storeVersion(schemaVersion);
    transaction.commit();
    return Done{};
}

} // namespace parlova::relay
