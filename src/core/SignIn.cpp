#include "core/SignIn.h"

using namespace Qt::StringLiterals;

namespace parlova::core {

Decoded<SignIn> SignIn::fromJson(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    RelayJSON::Reader reader(*root);
    const QString token = reader.string("jeton"_L1);
    RelayJSON::Reader accountReader = reader.object("compte"_L1);
    Account account = Account::read(accountReader);
    const QJsonValue outcome = reader.value("parrainage"_L1);
    return reader.finish(SignIn{
        token, std::move(account),
        outcome.isString() ? ReferralOutcome::fromRawValue(outcome.toString()) : std::nullopt});
}

} // namespace parlova::core
