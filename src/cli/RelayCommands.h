#pragma once

#include "core/PaymentPage.h"
#include "core/RelayClient.h"
#include "core/RelayFailure.h"
#include "core/SecretStore.h"
#include "core/SettingsStore.h"

#include <QDateTime>
#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>

namespace parlova::cli {

// The seven commands that drive the relay by hand. Each runs once, prints
// its outcome in French on standard output and returns the exit status.
// They use the application's own relay client, keychain item and settings,
// so that what they print is what the application would see.
class RelayCommands {
public:
    // What a command works with. The program's own is the user's keychain,
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

    // --connexion <email> [parrainage]
    static int requestCode(const std::optional<QString>& email,
                           const std::optional<QString>& referral);
    static int requestCode(Environment& environment, const std::optional<QString>& email,
                           const std::optional<QString>& referral);
    // --code <email> <code|-> [parrainage]; the code comes from one line of
    // standard input when it is absent or "-".
    static int signIn(const std::optional<QString>& email, const std::optional<QString>& code,
                      const std::optional<QString>& referral);
    static int signIn(Environment& environment, const std::optional<QString>& email,
                      const std::optional<QString>& code, const std::optional<QString>& referral);
    // --compte
    static int showAccount();
    static int showAccount(Environment& environment);
    // --deconnexion
    static int signOut();
    static int signOut(Environment& environment);
    // --essai-relais <fichier.m4a>
    static int tryRelay(const std::optional<QString>& path);
    static int tryRelay(Environment& environment, const std::optional<QString>& path);
    // --paiement <mensuel|annuel> and --portail
    static int showPaymentPage(const std::optional<core::PaymentPage>& page);
    static int showPaymentPage(Environment& environment,
                               const std::optional<core::PaymentPage>& page);

    // A date of the account printout: the complete date and the short time
    // in the user's locale, taken in Paris.
    static QString dateTime(const QDateTime& date);

private:
    static Environment& standard();
    static core::RelayClient client(const Environment& environment);
    static void print(Environment& environment, const QString& line);
    // Prints the failure; a signedOut one also deletes the stored session.
    static int report(Environment& environment, const core::RelayFailure& failure);
    static int invalidReferral(Environment& environment);
    static int usage(Environment& environment, const QString& synopsis);
    // The stored session token, or none after saying why there is none.
    static std::optional<QString> storedToken(Environment& environment);
};

} // namespace parlova::cli
