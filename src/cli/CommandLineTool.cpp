#include "cli/CommandLineTool.h"

#include "cli/RelayCommands.h"
#include "core/KeychainItem.h"
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

constexpr std::array<Option, 8> options{{
    {"--connexion", CommandLineTool::Kind::requestCode, 2},
    {"--code", CommandLineTool::Kind::signIn, 3},
    {"--compte", CommandLineTool::Kind::showAccount, 0},
    {"--deconnexion", CommandLineTool::Kind::signOut, 0},
    {"--essai-relais", CommandLineTool::Kind::tryRelay, 1},
    {"--paiement", CommandLineTool::Kind::payment, 1},
    {"--portail", CommandLineTool::Kind::portal, 0},
    {"--oublier-cle", CommandLineTool::Kind::forgetLegacyKey, 0},
}};

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
    switch (m_kind) {
    case Kind::requestCode:
        return RelayCommands::requestCode(email(), referral());
    case Kind::signIn:
        return RelayCommands::signIn(email(), code(), referral());
    case Kind::showAccount:
        return RelayCommands::showAccount();
    case Kind::signOut:
        return RelayCommands::signOut();
    case Kind::tryRelay:
        return RelayCommands::tryRelay(path());
    case Kind::payment:
    case Kind::portal:
        return RelayCommands::showPaymentPage(m_page);
    case Kind::forgetLegacyKey:
        return forgetLegacyKey();
    }
    return 1;
}

int CommandLineTool::forgetLegacyKey() {
    QTextStream out(stdout);
    return forgetLegacyKey(platform::Keychain::system(), out);
}

int CommandLineTool::forgetLegacyKey(core::SecretStore& keychain, QTextStream& out) {
    const qint32 status = core::KeychainItem::legacyRelayKey().remove(keychain);
    if (status != core::SecretStore::success && status != core::SecretStore::itemNotFound) {
        out << QStringLiteral("Le trousseau n'a pas retiré la clé de la démo : ")
            << describe(status) << ".\n";
        out.flush();
        return 1;
    }
    out << QStringLiteral("Clé partagée de la démo retirée du trousseau.\n");
    out.flush();
    return 0;
}

QString CommandLineTool::describe(qint32 status) {
    QString words = core::SecretStore::message(status);
    if (words.isNull())
        words = QStringLiteral("?");
    return QStringLiteral("%1 (%2)").arg(status).arg(words);
}

void CommandLineTool::print(const QString& line) {
    QTextStream out(stdout);
    out << line << '\n';
    out.flush();
}

} // namespace parlova::cli
