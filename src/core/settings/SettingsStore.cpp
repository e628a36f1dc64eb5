#include "core/settings/SettingsStore.h"

#include <QStandardPaths>

namespace parlova::core {

namespace {

const QString holdKeyKey = QStringLiteral("holdKey");
const QString languageKey = QStringLiteral("language");
const QString relayUrlKey = QStringLiteral("relayURL");
const QString relayCertificateKey = QStringLiteral("relayCertificate");

// A usable override is an https URL with a host; only its origin is kept (no
// path, query, fragment or credentials), so requests are never sent to a
// half-understood address.
std::optional<QUrl> originOf(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().compare(u"https", Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty())
        return std::nullopt;
    QUrl origin;
    origin.setScheme(QStringLiteral("https"));
    origin.setHost(url.host());
    origin.setPort(url.port());
    if (!origin.isValid())
        return std::nullopt;
    return origin;
}

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore(std::make_shared<QSettings>(defaultFilePath(), QSettings::IniFormat)) {}

SettingsStore::SettingsStore(std::shared_ptr<QSettings> settings)
    : m_settings(std::move(settings)) {}

QString SettingsStore::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/parlova/parlova.conf");
}

const QUrl& SettingsStore::productionRelayOrigin() {
    static const QUrl origin(QStringLiteral("https://relais.parlova.fr"), QUrl::StrictMode);
    Q_ASSERT(origin.isValid());
    return origin;
}

ParlovaSettings SettingsStore::load() const {
    m_settings->sync();
    return ParlovaSettings::fromStored(m_settings->value(holdKeyKey),
                                       m_settings->value(languageKey));
}

QString SettingsStore::message(Error error) {
    switch (error) {
    case Error::notWritten:
        return QStringLiteral("Les préférences n’ont pas pu être enregistrées.");
    case Error::malformed:
        return QStringLiteral("Le fichier des préférences est illisible.");
    }
    return {};
}

Done<SettingsStore::Error> SettingsStore::save(const ParlovaSettings& settings) {
    m_settings->setValue(holdKeyKey, rawValue(settings.holdKey));
    m_settings->setValue(languageKey, rawValue(settings.language));
    m_settings->sync();
    switch (m_settings->status()) {
    case QSettings::NoError:
        return std::monostate{};
    case QSettings::AccessError:
        return Error::notWritten;
    case QSettings::FormatError:
        return Error::malformed;
    }
    return Error::notWritten;
}

QUrl SettingsStore::relayOrigin() const {
    m_settings->sync();
    const QVariant stored = m_settings->value(relayUrlKey);
    if (stored.typeId() != QMetaType::QString)
        return productionRelayOrigin();
    return originOf(stored.toString()).value_or(productionRelayOrigin());
}

QString SettingsStore::relayCertificate() const {
    m_settings->sync();
    const QVariant stored = m_settings->value(relayCertificateKey);
    if (stored.typeId() != QMetaType::QString)
        return {};
    return stored.toString().trimmed();
}

QList<QSslCertificate> SettingsStore::relayAuthorities() const {
    const QString path = relayCertificate();
    if (path.isEmpty())
        return {};
    return QSslCertificate::fromPath(path, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
}

} // namespace parlova::core
