#include "cli/CommandLineTool.h"

#include "cli/RelayCommands.h"
#include "core/keychain/KeychainItem.h"
#include "core/program/SingleInstance.h"
#include "platform/Keychain.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace parlova::cli {

namespace {

struct Option {
    const char* name;
    CommandLineTool::Kind kind;
    qsizetype operands; // how many arguments after the option it carries
};

constexpr std::array<Option, 11> options{{
    {"--connexion", CommandLineTool::Kind::requestCode, 2},
    {"--code", CommandLineTool::Kind::signIn, 3},
    {"--compte", CommandLineTool::Kind::showAccount, 0},
    {"--deconnexion", CommandLineTool::Kind::signOut, 0},
    {"--essai-relais", CommandLineTool::Kind::tryRelay, 1},
    {"--paiement", CommandLineTool::Kind::payment, 1},
    {"--portail", CommandLineTool::Kind::portal, 0},
    {"--oublier-cle", CommandLineTool::Kind::forgetLegacyKey, 0},
    {"--maintenir", CommandLineTool::Kind::holdPress, 0},
    {"--relacher", CommandLineTool::Kind::holdRelease, 0},
    {"--coller-derniere", CommandLineTool::Kind::pasteLast, 0},
}};

const QString notRunning = QStringLiteral("Parlova ne tourne pas : lancez-le, puis recommencez.");

// Run by the compositor at every press and release: no keychain, no
// settings, one connection to the instance.
int handOverHoldKey(bool down) {
    if (core::SingleInstance::handOverHoldKey(core::SingleInstance::defaultPath(), down, 500).ok())
        return 0;
    QTextStream(stdout) << notRunning << '\n';
    return 1;
}

int handOverPasteLast() {
    const core::SingleInstance::PasteAnswer pasted =
        core::SingleInstance::handOverPasteLast(core::SingleInstance::defaultPath());
    if (pasted && *pasted)
        return 0;
    QTextStream(stdout) << (pasted ? QStringLiteral("Aucune dictée récente à coller.") : notRunning)
                        << '\n';
    return 1;
}

// The operand names the period with the relay's own words.
std::optional<core::PaymentPage> checkoutNamed(const QString& period) {
    if (const auto known = core::Account::Subscription::periodFromRawValue(period))
        return core::PaymentPage::checkout(*known);
    return std::nullopt;
}

} // namespace

std::optional<CommandLineTool> CommandLineTool::parse(const QStringList& arguments) {
    if (arguments.isEmpty())
        return std::nullopt;
    for (const Option& option : options) {
        if (arguments.first() != QLatin1String(option.name))
            continue;
        const QStringList operands = arguments.mid(1, option.operands);
        std::optional<core::PaymentPage> page;
        if (option.kind == Kind::payment)
            page = checkoutNamed(operands.value(0));
        else if (option.kind == Kind::portal)
            page = core::PaymentPage::portal();
        return CommandLineTool(option.kind, operands, page);
    }
    return std::nullopt;
}

std::optional<QString> CommandLineTool::operand(qsizetype index) const {
    if (index < m_operands.size())
        return m_operands.at(index);
    return std::nullopt;
}

std::optional<QString> CommandLineTool::email() const {
    if (m_kind == Kind::requestCode || m_kind == Kind::signIn)
        return operand(0);
    return std::nullopt;
}

std::optional<QString> CommandLineTool::code() const {
    if (m_kind == Kind::signIn)
        return operand(1);
    return std::nullopt;
}

std::optional<QString> CommandLineTool::referral() const {
    if (m_kind == Kind::requestCode)
        return operand(1);
    if (m_kind == Kind::signIn)
        return operand(2);
    return std::nullopt;
}

std::optional<QString> CommandLineTool::path() const {
    if (m_kind == Kind::tryRelay)
        return operand(0);
    return std::nullopt;
}

int CommandLineTool::run() const {
    if (m_kind == Kind::holdPress || m_kind == Kind::holdRelease)
        return handOverHoldKey(m_kind == Kind::holdPress);
    if (m_kind == Kind::pasteLast)
        return handOverPasteLast();
    QTextStream out(stdout);
    QTextStream in(stdin);
    RelayCommands commands(
        {platform::Keychain::system(), core::SettingsStore(), out, in, nullptr, {}});
    switch (m_kind) {
    case Kind::requestCode:
        return commands.requestCode(email(), referral());
    case Kind::signIn:
        return commands.signIn(email(), code(), referral());
    case Kind::showAccount:
        return commands.showAccount();
    case Kind::signOut:
        return commands.signOut();
    case Kind::tryRelay:
        return commands.tryRelay(path());
    case Kind::payment:
    case Kind::portal:
        return commands.showPaymentPage(m_page);
    case Kind::forgetLegacyKey:
        return commands.forgetLegacyKey();
    case Kind::holdPress:
    case Kind::holdRelease:
    case Kind::pasteLast:
        break;
    }
    return 1;
}

QString CommandLineTool::describe(qint32 status) {
    QString words = core::SecretStore::message(status);
    if (words.isNull())
        words = QStringLiteral("?");
    return QStringLiteral("%1 (%2)").arg(status).arg(words);
}

void CommandLineTool::silenceLibraries() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    platform::Keychain::silenceDiagnostics();
}

} // namespace parlova::cli
