#pragma once

#include "core/Result.h"
#include "core/keychain/SecretStore.h"

#include <QString>
#include <QtGlobal>

#include <utility>

namespace parlova::core {

// One generic-password item of the keychain, named by its service and
// account. The label is what keychain managers show; it is written when the
// item is created and never touched afterwards.
class KeychainItem {
public:
    // The outcome of read(): the trimmed value, or the keychain status that
    // kept it away. SecretStore::itemNotFound stands for every missing value:
    // no item, or one whose value is empty or not text.
    using Lookup = Result<QString, qint32>;

    KeychainItem(QString service, QString account, QString label)
        : m_service(std::move(service))
        , m_account(std::move(account))
        , m_label(std::move(label)) {}

    // The relay session token.
    static KeychainItem session();
    // A shared relay key left behind by an early demonstration build; only
    // ever deleted, on request.
    static KeychainItem legacyRelayKey();
    // The desktop's restore token for typing the paste shortcut, so that the
    // user is asked only once, not at every start.
    static KeychainItem remoteDesktopToken();

    const QString& service() const { return m_service; }
    const QString& account() const { return m_account; }
    const QString& label() const { return m_label; }

    Lookup read(SecretStore& keychain) const;
    // Stores the UTF-8 bytes of the value as given (not trimmed) and returns
    // the status of the last keychain call made.
    qint32 store(SecretStore& keychain, const QString& value) const;
    // SecretStore::itemNotFound when there was nothing to delete.
    qint32 remove(SecretStore& keychain) const;

    friend bool operator==(const KeychainItem&, const KeychainItem&) = default;

private:
    QString m_service;
    QString m_account;
    QString m_label;
};

} // namespace parlova::core
