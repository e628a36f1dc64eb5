#pragma once

#include "core/domain/PaymentPage.h"
#include "core/domain/RelayFailure.h"
#include "core/keychain/KeychainItem.h"
#include "core/keychain/SecretStore.h"
#include "core/relayclient/RelayClient.h"
#include "core/settings/SettingsStore.h"

#include <QDateTime>
#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>
#include <utility>

namespace parlova::cli {

// The commands that drive the relay and the keychain by hand, over one
// environment. Each runs once, prints its outcome in French and returns the
// exit status. They use the application's own relay client, keychain item and
// settings, so that what they print is what the application would see.
class RelayCommands {
public:
    // What the commands work with. The program's own is the user's keychain,
    // preferences, the network and the standard streams; tests bring theirs.
    struct Environment {
        core::SecretStore& keychain;
        core::SettingsStore settings;
        QTextStream& out;
        QTextStream& in;
        // None: the program's network transport.
        std::shared_ptr<core::RelayTransport> transport;
        core::RelayTimeouts timeouts;
    };

    // What a command refuses before any relay call.
    enum class Error {
        invalidReferral, // not a referral code of the relay's alphabet
        unreadableAudio, // the take to send is not a regular file that reads
    };
    // The line printed for it.
    static QString message(Error error);

    explicit RelayCommands(Environment environment)
        : m_environment(std::move(environment)) {}

    // --connexion <email> [parrainage]
    int requestCode(const std::optional<QString>& email, const std::optional<QString>& referral);
    // --code <email> <code|-> [parrainage]; the code comes from one line of
    // the input when it is absent or "-".
    int signIn(const std::optional<QString>& email, const std::optional<QString>& code,
               const std::optional<QString>& referral);
    // --compte
    int showAccount();
    // --deconnexion: the token is erased even when the relay cannot be told.
    int signOut();
    // --essai-relais <fichier.m4a>
    int tryRelay(const std::optional<QString>& path);
    // --paiement <mensuel|annuel> and --portail
    int showPaymentPage(const std::optional<core::PaymentPage>& page);
    // --oublier-cle: deletes the item of the early demonstration builds.
    int forgetLegacyKey();

private:
    // A date of the account printout: the complete date and the short time
    // in the user's locale, taken in Paris.
    static QString dateTime(const QDateTime& date);

    core::RelayClient client() const;
    void print(const QString& line);
    // Each prints one failure line and answers the exit status 1. A
    // signedOut relay failure also deletes the stored session.
    int report(const core::RelayFailure& failure);
    int keychainFailure(const QString& what, qint32 status);
    int refuse(Error error);
    int usage(const QString& synopsis);
    // The stored session token, or the keychain's status after saying why
    // there is none.
    core::KeychainItem::Lookup storedToken();

    Environment m_environment;
};

} // namespace parlova::cli
