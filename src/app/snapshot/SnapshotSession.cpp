#include "app/snapshot/SnapshotSession.h"

namespace parlova::app {

// GCC 12 never finishes a coroutine whose parameters have no name: every
// parameter below is named, even where it is not used.

QCoro::Task<core::RelayDone> SnapshotSession::requestCode(QString email,
                                                          std::optional<QString> referral) {
    Q_UNUSED(email);
    Q_UNUSED(referral);
    co_return core::RelayDone(std::monostate{});
}

QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
SnapshotSession::signIn(QString email, QString code, std::optional<QString> referral) {
    Q_UNUSED(email);
    Q_UNUSED(code);
    Q_UNUSED(referral);
    co_return std::optional<core::ReferralOutcome>();
}

QCoro::Task<core::RelayDone> SnapshotSession::deleteAccount() {
    co_return core::RelayDone(std::monostate{});
}

QCoro::Task<core::RelayResult<QUrl>> SnapshotSession::paymentPage(core::PaymentPage page) {
    Q_UNUSED(page);
    co_return core::RelayFailure::unavailable();
}

} // namespace parlova::app
