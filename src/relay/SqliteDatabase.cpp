#include "relay/SqliteDatabase.h"

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

// Version 4: the words of dictations transcribed but not yet delivered,
// held against the weekly cap until the answer is settled.
const char* const toVersion4 = R"sql(
CREATE TABLE mots_reserves (
    id INTEGER PRIMARY KEY,
    compte INTEGER NOT NULL,
    mots INTEGER NOT NULL,
    le INTEGER NOT NULL
);
CREATE INDEX mots_reserves_compte ON mots_reserves(compte);
)sql";

class SqliteCursor : public Database::Cursor {
public:
    SqliteCursor(sqlite3* db, const char* sql)
        : m_db(db) {
        if (!db || sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            fail(db, "préparation");
    }
    ~SqliteCursor() override { sqlite3_finalize(m_statement); }
    SqliteCursor(const SqliteCursor&) = delete;
    SqliteCursor& operator=(const SqliteCursor&) = delete;

    void bind(int index, qint64 value) override {
        check(sqlite3_bind_int64(m_statement, index, value));
    }
    void bind(int index, const QString& value) override {
        const QByteArray utf8 = value.toUtf8();
        // SQLITE_TRANSIENT: SQLite copies the text before this returns.
        check(sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()),
                                reinterpret_cast<sqlite3_destructor_type>(-1)));
    }
    void bindNull(int index, bool) override { check(sqlite3_bind_null(m_statement, index)); }

    bool step() override {
        switch (sqlite3_step(m_statement)) {
        case SQLITE_ROW:
            return true;
        case SQLITE_DONE:
            return false;
        default:
            fail(m_db, "requête");
        }
    }
    bool isNull(int column) const override {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_statement, column); }
    QString text(int column) const override {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
    }

private:
    void check(int status) const {
        if (status != SQLITE_OK)
            fail(m_db, "paramètre");
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace

SqliteDatabase::~SqliteDatabase() {
    close();
}

Started SqliteDatabase::open(const QString& path) {
    close();
    m_path = path;
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
        // The first tables as they were, then each version's changes in turn:
        // the version 1 layout must not come back once a later one dropped it.
        if (const Started migrated =
                migrate({{2, {schema, toVersion2}}, {3, {toVersion3}}, {4, {toVersion4}}});
            !migrated) {
            close();
            return migrated;
        }
        // The WAL mode really took (it does not on some file systems).
        SqliteCursor mode(m_db, "PRAGMA journal_mode");
        if (!mode.step() || mode.text(0) != u"wal")
            throw StorageError("mode WAL refusé");
    } catch (const StorageError& e) {
        close();
        return QStringLiteral("Base %1 inutilisable : %2").arg(path, QString::fromUtf8(e.what()));
    }
    return Done{};
}

void SqliteDatabase::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void SqliteDatabase::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "erreur";
        sqlite3_free(message);
        throw StorageError(text);
    }
}

std::unique_ptr<Database::Cursor> SqliteDatabase::cursor(const char* sql) {
    return std::make_unique<SqliteCursor>(m_db, sql);
}

// IMMEDIATE takes the file's write lock at once: another process's
// transaction cannot slip in between a check and its write.
void SqliteDatabase::begin() {
    exec("BEGIN IMMEDIATE");
}

qint64 SqliteDatabase::storedVersion() {
    SqliteCursor version(m_db, "PRAGMA user_version");
    return version.step() ? version.integer(0) : 0;
}

void SqliteDatabase::storeVersion(qint64 version) {
    exec(QByteArray("PRAGMA user_version=" + QByteArray::number(version)).constData());
}

} // namespace parlova::relay
