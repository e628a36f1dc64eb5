#include "relay/Database.h"

#include <QFile>

#include <sqlite3.h>

namespace parlova::relay {

namespace {

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw StorageError(std::string(what) + " : " + (db ? sqlite3_errmsg(db) : "base fermée"));
}

// Version 1 of the tables. Dates are seconds since the epoch (UTC); secrets
// (tokens, sign-in codes, page keys) and the addresses of deleted accounts are
// SHA-256 digests.
const char* const schema = R"sql(
CREATE TABLE IF NOT EXISTS comptes (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL UNIQUE,
    code_parrainage TEXT NOT NULL UNIQUE,
    cree_le INTEGER NOT NULL,
    offre_offerte TEXT,
    offert_jusqu_au INTEGER,
    semaine_debut INTEGER NOT NULL DEFAULT 0,
    semaine_mots INTEGER NOT NULL DEFAULT 0,
    premiere_dictee INTEGER
);
CREATE TABLE IF NOT EXISTS sessions (
    jeton TEXT PRIMARY KEY,
    compte INTEGER NOT NULL,
    cree_le INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS sessions_compte ON sessions(compte);
CREATE TABLE IF NOT EXISTS codes (
    email TEXT PRIMARY KEY,
    code TEXT NOT NULL,
    parrainage TEXT,
    emis_le INTEGER NOT NULL,
    essais INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS demandes_code (
    email TEXT NOT NULL,
    le INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS demandes_code_email ON demandes_code(email, le);
CREATE TABLE IF NOT EXISTS verrous (
    email TEXT PRIMARY KEY,
    jusqu_au INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS abonnements (
    compte INTEGER PRIMARY KEY,
    periode TEXT NOT NULL,
    statut TEXT NOT NULL,
    fin_periode INTEGER NOT NULL,
    resilie INTEGER NOT NULL DEFAULT 0,
    cree_le INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS pages (
    cle TEXT PRIMARY KEY,
    compte INTEGER NOT NULL,
    genre TEXT NOT NULL,
    periode TEXT,
    expire_le INTEGER NOT NULL,
    utilisee INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS parrainages (
    filleul TEXT PRIMARY KEY,
    parrain INTEGER NOT NULL,
    le INTEGER NOT NULL,
    valide INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS parrainages_parrain ON parrainages(parrain);
CREATE TABLE IF NOT EXISTS adresses_supprimees (
    email TEXT PRIMARY KEY,
    le INTEGER NOT NULL
);
)sql";

// Version 2: sessions remember when they were last used (unused ones
// expire); a deleted account's week is kept, until the week ends, under a
// keyed digest of its address; sign-in codes are digests keyed with the
// relay's own key.
const char* const toVersion2 = R"sql(
ALTER TABLE sessions ADD COLUMN utilise_le INTEGER NOT NULL DEFAULT 0;
UPDATE sessions SET utilise_le = cree_le;
CREATE TABLE IF NOT EXISTS semaines_gardees (
    empreinte TEXT PRIMARY KEY,
    semaine_debut INTEGER NOT NULL,
    mots INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS demandes_code_le ON demandes_code(le);
DELETE FROM codes;
)sql";

// Version 3: an address keeps its last few codes (a new request no longer
// replaces the code already sent); code requests and wrong guesses remember
// the client address that made them, so that limits and waits fall on the
// client rather than on the address it names, and the per-address lock goes;
// a referral remembers when it was validated and what it earned; a page
// keeps the seed its key is derived from, so that an open page can be given
// again; expired pages and codes are found through an index.
const char* const toVersion3 = R"sql(
ALTER TABLE codes RENAME TO codes_v2;
CREATE TABLE codes (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL,
    code TEXT NOT NULL,
    parrainage TEXT,
    emis_le INTEGER NOT NULL,
    essais INTEGER NOT NULL DEFAULT 0
);
INSERT INTO codes (email, code, parrainage, emis_le, essais)
    SELECT email, code, parrainage, emis_le, essais FROM codes_v2;
DROP TABLE codes_v2;
CREATE INDEX codes_email ON codes(email, emis_le);
CREATE INDEX codes_emis_le ON codes(emis_le);
ALTER TABLE demandes_code ADD COLUMN client TEXT;
CREATE INDEX demandes_code_client ON demandes_code(client, le);
CREATE TABLE echecs_code (
    client TEXT NOT NULL,
    email TEXT NOT NULL,
    le INTEGER NOT NULL
);
CREATE INDEX echecs_code_client ON echecs_code(client, email, le);
CREATE INDEX echecs_code_le ON echecs_code(le);
DROP TABLE verrous;
ALTER TABLE parrainages ADD COLUMN valide_le INTEGER;
ALTER TABLE parrainages ADD COLUMN mois INTEGER NOT NULL DEFAULT 0;
UPDATE parrainages SET valide_le = le, mois = 1 WHERE valide = 1;
CREATE INDEX parrainages_valide_le ON parrainages(parrain, valide_le);
ALTER TABLE pages ADD COLUMN graine TEXT;
CREATE INDEX pages_expire_le ON pages(expire_le);
CREATE INDEX pages_compte ON pages(compte, genre);
)sql";

} // namespace

Database::~Database() {
    close();
}

Started Database::open(const QString& path) {
    close();
    const QByteArray name = QFile::encodeName(path);
    // A link planted in the data folder must not send the accounts elsewhere.
    if (sqlite3_open_v2(name.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX |
                            SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        // Read before closing: the message belongs to the handle.
        const QString message = QStringLiteral("Base %1 illisible : %2")
                                    .arg(path, QString::fromUtf8(sqlite3_errmsg(m_db)));
        close();
        return message;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    sqlite3_busy_timeout(m_db, 5000);
    try {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        exec("PRAGMA foreign_keys=ON");
        // Deleted rows (addresses, digests) are overwritten, not left in free pages.
        exec("PRAGMA secure_delete=ON");
        Transaction transaction(*this);
        const qint64 current = [this] {
            Statement version(m_db, "PRAGMA user_version");
            return version.step() ? version.integer(0) : 0;
        }();
        // The first tables as they were, then each version's changes in turn:
        // the version 1 layout must not come back once a later one dropped it.
        if (current < 2) {
            exec(schema);
            exec(toVersion2);
        }
        if (current < 3)
            exec(toVersion3);
        exec("PRAGMA user_version=3");
        transaction.commit();
        // The WAL mode really took (it does not on some file systems).
        Statement mode(m_db, "PRAGMA journal_mode");
        if (!mode.step() || mode.text(0) != u"wal")
            throw StorageError("mode WAL refusé");
    } catch (const StorageError& e) {
        close();
        return QStringLiteral("Base %1 inutilisable : %2").arg(path, QString::fromUtf8(e.what()));
    }
    return Done{};
}

void Database::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Database::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "erreur";
        sqlite3_free(message);
        throw StorageError(text);
    }
}

qint64 Database::lastInsertId() const {
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const {
    return sqlite3_changes(m_db);
}

Database::Statement::Statement(sqlite3* db, const char* sql)
    : m_db(db) {
    if (!db || sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
        fail(db, "préparation");
}

Database::Statement::~Statement() {
    sqlite3_finalize(m_statement);
}

Database::Statement& Database::Statement::bind(int index, qint64 value) {
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        fail(m_db, "paramètre");
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    // SQLITE_TRANSIENT: SQLite copies the text before this returns.
    if (sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()),
                          reinterpret_cast<sqlite3_destructor_type>(-1)) != SQLITE_OK)
        fail(m_db, "paramètre");
    return *this;
}

Database::Statement& Database::Statement::bind(int index, std::optional<qint64> value) {
    if (value)
        return bind(index, *value);
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        fail(m_db, "paramètre");
    return *this;
}

Database::Statement& Database::Statement::bind(int index, const std::optional<QString>& value) {
    if (value)
        return bind(index, *value);
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        fail(m_db, "paramètre");
    return *this;
}

bool Database::Statement::step() {
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    default:
        fail(m_db, "requête");
    }
}

void Database::Statement::run() {
    while (step()) {
    }
}

qint64 Database::Statement::integer(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

std::optional<qint64> Database::Statement::optionalInteger(int column) const {
    if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
        return std::nullopt;
    return integer(column);
}

QString Database::Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
}

std::optional<QString> Database::Statement::optionalText(int column) const {
    if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
        return std::nullopt;
    return text(column);
}

Database::Transaction::Transaction(Database& db)
    : m_db(db) {
    m_db.exec("BEGIN IMMEDIATE");
}

Database::Transaction::~Transaction() {
    if (!m_done) {
        try {
            m_db.exec("ROLLBACK");
        } catch (const StorageError&) {
            // Nothing more to undo: SQLite already rolled back.
        }
    }
}

void Database::Transaction::commit() {
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace parlova::relay
