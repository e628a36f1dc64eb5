#pragma once

#include "core/domain/PaymentPage.h"
#include "core/domain/ReferralOutcome.h"
#include "core/relayclient/RelayTransport.h"

#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <optional>

namespace parlova::app {

// How the screens act on the session: the sign-in form, the Pro window, the
// window coordinator and the settings. The session controller is the real
// one; snapshots stage their pictures with one of their own.
//
// Failures come back as values. Every task resumes on the main thread.
class SessionActions {
public:
    virtual ~SessionActions() = default;

    // Asks the relay to e-mail a sign-in code; changes no state. The
    // referral code, if any, is already normalised.
    virtual QCoro::Task<core::RelayDone> requestCode(QString email,
                                                     std::optional<QString> referral) = 0;
    // Checks the code and, on success, opens the session; answers what the
    // relay did with the referral code, when it says.
    virtual QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
    signIn(QString email, QString code, std::optional<QString> referral) = 0;
    // Ends the session at once and tells the relay in the background.
    virtual void signOut() = 0;
    // Deletes the account on the relay, then ends the session.
    virtual QCoro::Task<core::RelayDone> deleteAccount() = 0;
    // Reads the account again in the background.
    virtual void refreshAccount() = 0;
    // The address of a checkout or of the customer portal.
    virtual QCoro::Task<core::RelayResult<QUrl>> paymentPage(core::PaymentPage page) = 0;
    // Watches the account for the outcome of a payment made in the browser.
    virtual void watchPayment() = 0;

protected:
    SessionActions() = default;
    SessionActions(const SessionActions&) = default;
    SessionActions& operator=(const SessionActions&) = default;
};

} // namespace parlova::app
