#include "relay/Relay.h"

#include "relay/CommandEngine.h"
#include "relay/PocketSphinxEngine.h"
#include "relay/ServerEngine.h"
#include "relay/TestEngine.h"

#include <QDir>
#include <QFile>

namespace parlova::relay {

Relay::Relay(Options options)
    : m_options(std::move(options))
    , m_authority(m_options.dataDir)
    , m_accounts(m_db, m_digest)
    , m_sessions(m_db, qint64(m_options.sessionDays) * 24 * 3600)
    , m_signInStore(m_db, m_digest)
    , m_mailbox(m_options.control)
    , m_signIn(m_db, m_clock, m_accounts, m_sessions, m_signInStore, m_mailbox, m_origin)
    , m_account(m_db, m_clock, m_accounts, m_sessions, m_signInStore, m_origin)
    , m_billing(m_db, m_clock, m_accounts, m_options.paymentsEnabled, m_origin) {}

void Relay::listensOn(int port) {
    m_origin = m_options.origin.isEmpty() ? QStringLiteral("https://127.0.0.1:%1").arg(port)
                                          : m_options.origin;
}

QString Relay::dictationDir() const {
    return QDir(m_options.dataDir).filePath(QStringLiteral("dictees"));
}

void Relay::purge() {
    m_signIn.purge();
    m_account.purge();
}

Relay::~Relay() = default;

bool Relay::open(QString* error) {
    const QString dir = m_options.dataDir;
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("Impossible de créer le dossier de données %1.").arg(dir);
        return false;
    }
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!m_authority.prepare(error))
        return false;
    if (!m_digest.load(QDir(dir).filePath(QStringLiteral("cle-empreintes")), error))
        return false;
    // Takes are people's voices: a private folder, emptied of whatever a
    // crash left behind.
    QDir takes(dictationDir());
    if (!QDir().mkpath(takes.path()) ||
        !QFile::setPermissions(takes.path(),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        *error = QStringLiteral("Impossible de préparer le dossier %1.").arg(takes.path());
        return false;
    }
    for (const QString& name : takes.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!takes.remove(name)) {
            *error = QStringLiteral("Impossible d’effacer %1.").arg(takes.filePath(name));
            return false;
        }
    }
    if (!m_db.open(QDir(dir).filePath(QStringLiteral("relais.sqlite3")), error))
        return false;

    switch (m_options.engine) {
    case EngineKind::PocketSphinx: {
        auto engine = std::make_unique<PocketSphinxEngine>();
        if (!engine->load(error))
            return false;
        m_engine = std::move(engine);
        break;
    }
    case EngineKind::Command:
        m_engine = std::make_unique<CommandEngine>(m_options.command, dictationDir());
        break;
    case EngineKind::Server: {
        auto engine = std::make_unique<ServerEngine>(m_options);
        if (!engine->load(error))
            return false;
        m_engine = std::move(engine);
        break;
    }
    case EngineKind::Test: {
        auto engine = std::make_unique<TestEngine>();
        m_testEngine = engine.get();
        m_engine = std::move(engine);
        break;
    }
    }
    m_dictation = std::make_unique<DictationService>(m_db, m_clock, m_accounts, *m_engine);
    purge();
    return true;
}

} // namespace parlova::relay
