#include "relay/Relay.h"

#include "relay/CommandEngine.h"
#include "relay/PocketSphinxEngine.h"
#include "relay/TestEngine.h"

#include <QDir>
#include <QFile>

namespace parlova::relay {

Relay::Relay(Options options)
    : m_options(std::move(options))
    , m_authority(m_options.dataDir)
    , m_accounts(m_db)
    , m_sessions(m_db)
    , m_mailbox(m_options.control)
    , m_signIn(m_db, m_clock, m_accounts, m_sessions, m_mailbox)
    , m_account(m_db, m_clock, m_accounts, m_sessions)
    , m_billing(m_db, m_clock, m_accounts, m_options.paymentsEnabled) {}

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
        m_engine = std::make_unique<CommandEngine>(m_options.command,
                                                   QDir(dir).filePath(QStringLiteral("dictees")));
        break;
    case EngineKind::Test: {
        auto engine = std::make_unique<TestEngine>();
        m_testEngine = engine.get();
        m_engine = std::move(engine);
        break;
    }
    }
    m_dictation = std::make_unique<DictationService>(m_db, m_clock, m_accounts, *m_engine);
    return true;
}

} // namespace parlova::relay
