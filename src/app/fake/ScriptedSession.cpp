#include "app/fake/ScriptedSession.h"

#include <QCoroSignal>

namespace parlova::app {

using core::RelayFailure;

QCoro::Task<std::optional<RelayFailure>> ScriptedSession::answer(QString call) {
    calls.append(call);
    if (held)
        co_await qCoro(this, &ScriptedSession::released);
    if (failures.isEmpty())
        co_return std::nullopt;
    co_return failures.takeFirst();
}

QCoro::Task<core::RelayDone> ScriptedSession::requestCode(QString email,
                                                          std::optional<QString> referral) {
    QCoro::Task<std::optional<RelayFailure>> answering =
        answer(QStringList{QStringLiteral("requestCode"), email, referral.value_or(QString())}
                   .join(u' ')
                   .trimmed());
    const std::optional<RelayFailure> failure = co_await std::move(answering);
    if (failure)
        co_return *failure;
    co_return core::RelayDone(std::monostate{});
}

QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
ScriptedSession::signIn(QString email, QString code, std::optional<QString> referral) {
    QCoro::Task<std::optional<RelayFailure>> answering =
        answer(QStringList{QStringLiteral("signIn"), email, code, referral.value_or(QString())}
                   .join(u' ')
                   .trimmed());
    const std::optional<RelayFailure> failure = co_await std::move(answering);
    if (failure)
        co_return *failure;
    co_return outcome;
}

QCoro::Task<core::RelayDone> ScriptedSession::deleteAccount() {
    QCoro::Task<std::optional<RelayFailure>> answering = answer(QStringLiteral("deleteAccount"));
    const std::optional<RelayFailure> failure = co_await std::move(answering);
    if (failure)
        co_return *failure;
    co_return core::RelayDone(std::monostate{});
}

QCoro::Task<core::RelayResult<QUrl>> ScriptedSession::paymentPage(core::PaymentPage page) {
    const QString which = page.kind() == core::PaymentPage::Kind::portal
                              ? QStringLiteral("portal")
                              : core::Account::Subscription::rawValue(page.period());
    QCoro::Task<std::optional<RelayFailure>> answering =
        answer(QStringLiteral("paymentPage ") + which);
    const std::optional<RelayFailure> failure = co_await std::move(answering);
    if (failure)
        co_return *failure;
    co_return pageUrl;
}

} // namespace parlova::app
