#pragma once

#include "app/SessionActions.h"

#include <QList>
#include <QStringList>

#include <coroutine>

namespace parlova::app {

// Session actions for model tests: every call is written down, and answered
// with the next scripted failure, or a success once there is none left.
// While held, answers wait for release().
class ScriptedSession final : public SessionActions {
public:
    // "requestCode lea@example.fr ABC234": the operation and its arguments.
    QStringList calls;
    QList<core::RelayFailure> failures;
    bool held = false;
    QUrl pageUrl{QStringLiteral("https://paiement.example/session")};
    std::optional<core::ReferralOutcome> outcome;

    // Lets every held answer go, in the order the calls were made.
    void release();

    QCoro::Task<core::RelayDone> requestCode(QString email,
                                             std::optional<QString> referral) override;
    QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
    signIn(QString email, QString code, std::optional<QString> referral) override;
    void signOut() override { calls.append(QStringLiteral("signOut")); }
    QCoro::Task<core::RelayDone> deleteAccount() override;
    void refreshAccount() override { calls.append(QStringLiteral("refreshAccount")); }
    QCoro::Task<core::RelayResult<QUrl>> paymentPage(core::PaymentPage page) override;
    void watchPayment() override { calls.append(QStringLiteral("watchPayment")); }

private:
    struct Held {
        QList<std::coroutine_handle<>>& waiting;

        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { waiting.append(handle); }
        void await_resume() const noexcept {}
    };

    // Waits while held, then takes the next failure.
    QCoro::Task<std::optional<core::RelayFailure>> answer(QString call);

    QList<std::coroutine_handle<>> m_waiting;
};

} // namespace parlova::app
