#pragma once

#include "app/controllers/SessionActions.h"

namespace parlova::app {

// The session of snapshot mode: answers at once and reaches no relay. Codes
// are sent and checked successfully, the account is deleted, and a payment
// page is never available (the relay "does not answer").
class SnapshotSession final : public SessionActions {
public:
    QCoro::Task<core::RelayDone> requestCode(QString email,
                                             std::optional<QString> referral) override;
    QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
    signIn(QString email, QString code, std::optional<QString> referral) override;
    void signOut() override {}
    QCoro::Task<core::RelayDone> deleteAccount() override;
    void refreshAccount() override {}
    QCoro::Task<core::RelayResult<QUrl>> paymentPage(core::PaymentPage page) override;
    void watchPayment() override {}
};

} // namespace parlova::app
