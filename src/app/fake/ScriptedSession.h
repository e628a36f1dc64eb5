#pragma once

#include "app/controllers/SessionActions.h"

#include <QList>
#include <QStringList>

namespace parlova::app {

// Session actions for model tests: every call is written down and answered
// at once with the next scripted failure, or a success once there is none.
class ScriptedSession final : public SessionActions {
public:
    // "requestCode lea@example.fr ABC234": the operation and its arguments.
    QStringList calls;
    QList<core::RelayFailure> failures;
    QUrl pageUrl{QStringLiteral("https://paiement.example/session")};
    std::optional<core::ReferralOutcome> outcome;

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
    // Writes the call down; fails with the next scripted failure, if any.
    core::RelayDone answer(const QStringList& call);
};

} // namespace parlova::app
