#pragma once

#include "core/SecretStore.h"

namespace parlova::platform {

// The keychain over the freedesktop Secret Service (gnome-keyring, KWallet,
// KeePassXC…) through libsecret. Items carry the attributes "service" and
// "account" and live in the default collection. A session without a bus or
// without a Secret Service gets serviceUnavailable at once, never a hang.
// Unlock prompts are the service's own and may wait for the user.
class SecretServiceStore final : public core::SecretStore {
public:
    Found find(const QString& service, const QString& account) override;
    qint32 update(const QString& service, const QString& account, const QByteArray& value) override;
    qint32 add(const QString& service, const QString& account, const QString& label,
               const QByteArray& value) override;
    qint32 remove(const QString& service, const QString& account) override;
};

} // namespace parlova::platform
