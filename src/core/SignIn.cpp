#include "core/SignIn.h"

using namespace Qt::StringLiterals;

namespace parlova::core {

Decoded<SignIn> SignIn::fromJson(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    RelayJSON::Reader reader(*root);
    const QString token = reader.string("jeton"_L1);
    if (reader.failed())
        return reader.error();
    Decoded<Account> account = Account::fromJsonValue(reader.value("compte"_L1));
    if (!account) {
        DecodingError error = account.error();
        error.path = error.path.isEmpty() ? u"compte"_s : u"compte."_s + error.path;
        return error;
    }
    const QJsonValue outcome = reader.value("parrainage"_L1);
    return SignIn{token, std::move(account).value(),
                  outcome.isString() ? ReferralOutcome::fromRawValue(outcome.toString())
                                     : std::nullopt};
}

} // namespace parlova::core
