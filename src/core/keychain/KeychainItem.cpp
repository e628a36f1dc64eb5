#include "core/keychain/KeychainItem.h"

#include <QStringDecoder>

namespace parlova::core {

namespace {

const QString serviceName = QStringLiteral("fr.orvane.parlova");

} // namespace

KeychainItem KeychainItem::session() {
    return {serviceName, QStringLiteral("session"), QStringLiteral("Parlova (session)")};
}

KeychainItem KeychainItem::legacyRelayKey() {
    return {serviceName, QStringLiteral("relais"), QStringLiteral("Parlova (relais)")};
}

KeychainItem KeychainItem::remoteDesktopToken() {
    return {serviceName, QStringLiteral("bureau-distant"),
            QStringLiteral("Parlova (accès au clavier)")};
}

KeychainItem::Lookup KeychainItem::read(SecretStore& keychain) const {
    const SecretStore::Found answer = keychain.find(m_service, m_account);
    if (!answer)
        return answer.error();
    if (!*answer)
        return SecretStore::itemNotFound;

    // Strict decoding: a value that is not valid UTF-8 is unusable, not
    // something to repair with replacement characters.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(**answer);
    if (decoder.hasError())
        return SecretStore::itemNotFound;

    // QString::trimmed() removes exactly the Unicode white space and line
    // breaks: the Zs, Zl and Zp categories, U+0009 to U+000D and U+0085.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return SecretStore::itemNotFound;
    return trimmed;
}

qint32 KeychainItem::store(SecretStore& keychain, const QString& value) const {
    const QByteArray bytes = value.toUtf8();
    const qint32 status = keychain.update(m_service, m_account, bytes);
    if (status != SecretStore::itemNotFound)
        return status;
    return keychain.add(m_service, m_account, m_label, bytes);
}

qint32 KeychainItem::remove(SecretStore& keychain) const {
    return keychain.remove(m_service, m_account);
}

} // namespace parlova::core
