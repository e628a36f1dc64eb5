#include "cli/RelayCommands.h"

// Placeholders until the relay commands land: each fails without output.

namespace parlova::cli {

int RelayCommands::requestCode(const std::optional<QString>&, const std::optional<QString>&) {
    return 1;
}

int RelayCommands::signIn(const std::optional<QString>&, const std::optional<QString>&,
                          const std::optional<QString>&) {
    return 1;
}

int RelayCommands::showAccount() {
    return 1;
}

int RelayCommands::signOut() {
    return 1;
}

int RelayCommands::tryRelay(const std::optional<QString>&) {
    return 1;
}

int RelayCommands::showPaymentPage(const std::optional<core::PaymentPage>&) {
    return 1;
}

} // namespace parlova::cli
