#pragma once

#include "app/SessionActions.h"

#include <QList>
#include <QObject>
#include <QStringList>

namespace parlova::app {

// Session actions for model tests: every call is written down, and answered
// with the next scripted failure, or a success once there is none left.
// While held, answers wait for release().
class ScriptedSession final : public QObject, public SessionActions {
    Q_OBJECT

public:
    using QObject::QObject;

    // "requestCode lea@example.fr ABC234": the operation and its arguments.
    QStringList calls;
    QList<core::RelayFailure> failures;
    bool held = false;
    QUrl pageUrl{QStringLiteral("https://paiement.example/session")};
    std::optional<core::ReferralOutcome> outcome;

    void release() { Q_EMIT released(); }

    QCoro::Task<core::RelayDone> requestCode(QString email,
                                             std::optional<QString> referral) override;
    QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
    signIn(QString email, QString code, std::optional<QString> referral) override;
    void signOut() override { calls.append(QStringLiteral("signOut")); }
    QCoro::Task<core::RelayDone> deleteAccount() override;
    void refreshAccount() override { calls.append(QStringLiteral("refreshAccount")); }
    QCoro::Task<core::RelayResult<QUrl>> paymentPage(core::PaymentPage page) override;
    void watchPayment() override { calls.append(QStringLiteral("watchPayment")); }

Q_SIGNALS:
    void released();

private:
    // Waits while held, then takes the next failure.
    QCoro::Task<std::optional<core::RelayFailure>> answer(QString call);
};

} // namespace parlova::app
