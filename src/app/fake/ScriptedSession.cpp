#include "app/fake/ScriptedSession.h"

namespace parlova::app {

using core::RelayFailure;

core::RelayDone ScriptedSession::answer(const QStringList& call) {
    calls.append(call.join(u' ').trimmed());
    if (failures.isEmpty())
        return std::monostate{};
    return failures.takeFirst();
}

QCoro::Task<core::RelayDone> ScriptedSession::requestCode(QString email,
                                                          std::optional<QString> referral) {
    if (const core::RelayDone answered =
            answer({QStringLiteral("requestCode"), email, referral.value_or("")});
        !answered)
        co_return answered.error();
    co_return core::RelayDone(std::monostate{});
}

QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
ScriptedSession::signIn(QString email, QString code, std::optional<QString> referral) {
    if (const core::RelayDone answered =
            answer({QStringLiteral("signIn"), email, code, referral.value_or("")});
        !answered)
        co_return answered.error();
    co_return outcome;
}

QCoro::Task<core::RelayDone> ScriptedSession::deleteAccount() {
    if (const core::RelayDone answered = answer({QStringLiteral("deleteAccount")}); !answered)
        co_return answered.error();
    co_return core::RelayDone(std::monostate{});
}

QCoro::Task<core::RelayResult<QUrl>> ScriptedSession::paymentPage(core::PaymentPage page) {
    const QString which = page.kind() == core::PaymentPage::Kind::portal
                              ? QStringLiteral("portal")
                              : core::Account::Subscription::rawValue(page.period());
    if (const core::RelayDone answered = answer({QStringLiteral("paymentPage"), which}); !answered)
        co_return answered.error();
    co_return pageUrl;
}

} // namespace parlova::app
