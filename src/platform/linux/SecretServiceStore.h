#pragma once

#include "core/keychain/SecretStore.h"

#include <chrono>

namespace parlova::platform {

// The keychain over the freedesktop Secret Service (gnome-keyring, KWallet,
// KeePassXC…) through libsecret. Items carry the attributes "service" and
// "account" and live in the default collection. A session without a bus or
// without a Secret Service gets serviceUnavailable at once, never a hang.
// Unlock prompts are the service's own and may wait for the user.
class SecretServiceStore final : public core::SecretStore {
public:
    // Reaching the bus and its housekeeping take milliseconds; starting the
    // service on demand may take a few seconds; calls to the service itself
    // are bounded too, so that a wedged bus or service cannot freeze the
    // program. Unlock prompts are not bounded: they wait for the user.
    struct TimeLimits {
        std::chrono::milliseconds busConnect{2000};
        std::chrono::milliseconds busCall{3000};
        std::chrono::milliseconds activation{10000};
        std::chrono::milliseconds serviceConnect{10000};
        std::chrono::milliseconds serviceCall{10000};
    };

    SecretServiceStore();
    explicit SecretServiceStore(const TimeLimits& limits)
        : m_limits(limits) {}

    Found find(const QString& service, const QString& account) override;
    qint32 update(const QString& service, const QString& account, const QByteArray& value) override;
    qint32 add(const QString& service, const QString& account, const QString& label,
               const QByteArray& value) override;
    qint32 remove(const QString& service, const QString& account) override;

private:
    TimeLimits m_limits;
};

} // namespace parlova::platform
