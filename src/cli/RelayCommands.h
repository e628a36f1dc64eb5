#pragma once

#include "core/PaymentPage.h"

#include <QString>

#include <optional>

namespace parlova::cli {

// The seven commands that drive the relay by hand. Each runs once, prints
// its outcome in French on standard output and returns the exit status.
class RelayCommands {
public:
    // --connexion <email> [parrainage]
    static int requestCode(const std::optional<QString>& email,
                           const std::optional<QString>& referral);
    // --code <email> <code|-> [parrainage]
    static int signIn(const std::optional<QString>& email, const std::optional<QString>& code,
                      const std::optional<QString>& referral);
    // --compte
    static int showAccount();
    // --deconnexion
    static int signOut();
    // --essai-relais <fichier.m4a>
    static int tryRelay(const std::optional<QString>& path);
    // --paiement <mensuel|annuel> and --portail
    static int showPaymentPage(const std::optional<core::PaymentPage>& page);
};

} // namespace parlova::cli
