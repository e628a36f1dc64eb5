#pragma once

#include "core/domain/PaymentPage.h"
#include "core/keychain/SecretStore.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QtGlobal>

#include <optional>
#include <utility>

namespace parlova::cli {

// The command-line face: one of eight options as the first argument runs one
// account or relay operation, prints French lines on standard output and
// gives the exit status (0 success, 1 failure); three more hand a press or a
// release of the hold key, or a paste of the last dictation, to the running
// instance, for the desktop's key bindings. Anything else is no command, and the program starts as
// the desktop application.
class CommandLineTool {
public:
    enum class Kind {
        requestCode,     // --connexion <email> [parrainage]
        signIn,          // --code <email> <code|-> [parrainage]
        showAccount,     // --compte
        signOut,         // --deconnexion
        tryRelay,        // --essai-relais <fichier>
        payment,         // --paiement <mensuel|annuel>
        portal,          // --portail
        forgetLegacyKey, // --oublier-cle
        holdPress,       // --maintenir
        holdRelease,     // --relacher
        pasteLast,       // --coller-derniere
    };

    // The arguments without the program path. Only the first one is looked
    // at as an option (whole and case-sensitive); missing operands are
    // simply absent and extra ones are ignored.
    static std::optional<CommandLineTool> parse(const QStringList& arguments);

    Kind kind() const { return m_kind; }
    // Operands by command: --connexion and --code carry the email first;
    // --code then the code; both end with the referral code.
    std::optional<QString> email() const;
    std::optional<QString> code() const;
    std::optional<QString> referral() const;
    std::optional<QString> path() const;
    // The portal for --portail; the checkout of the named period for
    // --paiement, none when its operand is missing or not a period.
    std::optional<core::PaymentPage> paymentPage() const { return m_page; }

    // Runs the command on the calling thread and returns the exit status.
    int run() const;

    // In command mode the output is the program's own lines: Qt, GLib and
    // TLS messages (which Qt reports through its own logging) never reach the
    // terminal, whatever QT_LOGGING_RULES or G_MESSAGES_DEBUG say. Call
    // before anything else runs.
    static void silenceLibraries();

    // "<status> (<words>)", with "?" when the status has no words.
    static QString describe(qint32 status);

    friend bool operator==(const CommandLineTool&, const CommandLineTool&) = default;

private:
    CommandLineTool(Kind kind, QStringList operands, std::optional<core::PaymentPage> page)
        : m_kind(kind)
        , m_operands(std::move(operands))
        , m_page(page) {}

    std::optional<QString> operand(qsizetype index) const;

    Kind m_kind;
    QStringList m_operands;
    std::optional<core::PaymentPage> m_page;
};

} // namespace parlova::cli
