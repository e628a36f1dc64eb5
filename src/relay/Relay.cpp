#include "relay/Relay.h"

#include "relay/CommandEngine.h"
#include "relay/DataFolder.h"
#include "relay/PocketSphinxEngine.h"
#include "relay/PostgresDatabase.h"
#include "relay/ServerEngine.h"
#include "relay/StoreCopy.h"
#include "relay/TestEngine.h"

#include <QDir>
#include <QFileInfo>

namespace parlova::relay {

namespace {

QString keyPath(const Options& options) {
    return QDir(options.secretsFolder()).filePath(QStringLiteral("cle-empreintes"));
}

QString sqlitePath(const Options& options) {
    return QDir(options.dataDir).filePath(QStringLiteral("relais.sqlite3"));
}

} // namespace

Relay::Relay(Options options)
    : m_options(std::move(options))
    , m_authority(m_options.secretsFolder())
    , m_db(Database::create(m_options.base))
    , m_accounts(*m_db, m_digest)
    , m_sessions(*m_db, qint64(m_options.sessionDays) * 24 * 3600)
    , m_signInStore(*m_db, m_digest)
    , m_mailbox(m_options.control)
    , m_signIn(*m_db, m_clock, m_accounts, m_sessions, m_signInStore, m_mailbox, m_origin)
    , m_account(*m_db, m_clock, m_accounts, m_sessions, m_signInStore, m_origin)
    , m_billing(*m_db, m_clock, m_digest, m_accounts, m_options.paymentsEnabled, m_origin) {}

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
    m_billing.purge();
    if (m_dictation)
        m_dictation->purge();
}

Started Relay::prepareSecrets() {
    const QString dir = m_options.secretsFolder();
    const auto folder = DataFolder::prepare(dir);
    if (folder == DataFolder::Outcome::Failed || folder == DataFolder::Outcome::NotAFolder)
        return QStringLiteral("Impossible de créer le dossier des secrets %1.").arg(dir);
    if (const Started prepared = m_authority.prepare(); !prepared)
        return prepared;
    return m_digest.load(keyPath(m_options));
}

Started Relay::migrateTo(const QString& uri) {
    // The digests are copied as they are: the key is not needed, but the
    // processes on the new base will need the one of this folder.
    const QString path = sqlitePath(m_options);
    if (!QFileInfo::exists(path))
        return QStringLiteral("Aucune base SQLite dans %1 : rien à copier.").arg(m_options.dataDir);
    if (const Started opened = m_db->open(path); !opened)
        return opened;
    PostgresDatabase target;
    if (const Started opened = target.open(uri); !opened)
        return opened;
    return StoreCopy::copy(*m_db, target);
}

Relay::~Relay() = default;

Started Relay::open() {
    const QString dir = m_options.dataDir;
    // The folder is the operator's choice, a link to it included: it keeps
    // its mode unless the relay made it. What the relay keeps in it is
    // never reached through a link.
    const auto data = DataFolder::prepare(dir);
    if (data == DataFolder::Outcome::Failed || data == DataFolder::Outcome::NotAFolder ||
        !QFileInfo(dir).isDir()) {
        return QStringLiteral("Impossible de créer le dossier de données %1.").arg(dir);
    }
    // The processes of one shared base must all digest with one key and
    // show one authority: none of them makes its own.
    const bool shared = !m_options.base.isEmpty();
    if (shared && !QFileInfo::exists(m_authority.authorityCertificatePath())) {
        return QStringLiteral("Autorité partagée %1 introuvable : les relais d’une même base "
                              "présentent tous la même. Copiez le dossier des secrets d’un relais "
                              "de cette base, ou créez-le avec --preparer-secrets.")
            .arg(m_authority.authorityCertificatePath());
    }
    if (const Started prepared = m_authority.prepare(); !prepared)
        return prepared;
    if (const Started loaded = m_digest.load(keyPath(m_options), !shared); !loaded)
        return loaded;
    // Takes are people's voices: a private folder, emptied of whatever a
    // crash left behind.
    const QString takes = dictationDir();
    switch (DataFolder::prepare(takes)) {
    case DataFolder::Outcome::Created:
    case DataFolder::Outcome::Existing:
        break;
    case DataFolder::Outcome::Link:
        return QStringLiteral("Le dossier %1 est un lien symbolique : le relais refuse de le "
                              "suivre. Remplacez-le par un vrai dossier.")
            .arg(takes);
    case DataFolder::Outcome::NotAFolder:
    case DataFolder::Outcome::Failed:
        return QStringLiteral("Impossible de préparer le dossier %1.").arg(takes);
    }
    if (!DataFolder::removeFiles(takes)) {
        return QStringLiteral("Impossible d’effacer les dictées laissées dans %1.").arg(takes);
    }
    if (const Started opened = m_db->open(shared ? m_options.base : sqlitePath(m_options)); !opened)
        return opened;

    switch (m_options.engine) {
    case EngineKind::PocketSphinx: {
        auto engine = std::make_unique<PocketSphinxEngine>();
        if (const Started loaded = engine->load(); !loaded)
            return loaded;
        m_engine = std::move(engine);
        break;
    }
    case EngineKind::Command:
        m_engine = std::make_unique<CommandEngine>(m_options.command, dictationDir());
        break;
    case EngineKind::Server: {
        auto engine = std::make_unique<ServerEngine>(m_options);
        if (const Started loaded = engine->load(); !loaded)
            return loaded;
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
    m_dictation = std::make_unique<DictationService>(*m_db, m_clock, m_accounts, *m_engine);
    purge();
    return Done{};
}

} // namespace parlova::relay
