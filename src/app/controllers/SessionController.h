#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/SessionActions.h"
#include "app/controllers/StatusModel.h"
#include "core/domain/Account.h"
#include "core/keychain/AsyncKeychain.h"
#include "core/keychain/KeychainItem.h"
#include "core/relayclient/RelayClient.h"
#include "core/settings/SettingsStore.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace parlova::app {

// The signed-in state of the application and the only place that stores or
// forgets the session token: the token and its keychain copy, the account as
// last read from the relay (published in the status model), and the watch
// that follows a payment made in the browser.
//
// Account reads are numbered: an answer is shown only if no later read and
// no later dictation update has been shown meanwhile, and only if the token
// it was read with is still the current one. After a checkout or portal page
// opens, the account is read every 5 s for 120 s, then at each activation of
// the application, until the offer or the subscription differs from what it
// was when the page opened.
//
// Everything runs on the main thread; every continuation checks again what
// it depends on, since other operations run while a relay call is pending.
class SessionController : public QObject, public SessionActions {
    Q_OBJECT

public:
    static constexpr double paymentWatchPeriod = 5.0;
    static constexpr double paymentWatchDuration = 120.0;

    // The transport of every relay call; none means the program's network
    // transport. The relay origin is read from the store at each call.
    SessionController(StatusModel& status, core::AsyncKeychain& keychain, core::SettingsStore store,
                      Clock& clock, std::shared_ptr<core::RelayTransport> transport = {},
                      QObject* parent = nullptr);
    ~SessionController() override;

    // Reads the token from the keychain (an unreadable keychain counts as
    // signed out), then starts the first account read. The task ends once
    // the signed-in state is known, so that start-up decisions can wait for it.
    QCoro::Task<> start();
    // Whether the first keychain read has answered.
    bool isStarted() const { return m_started; }

    const std::optional<QString>& token() const { return m_token; }

    // Reads the account if a payment is still being watched for.
    void applicationDidBecomeActive();
    // The week a dictation answered with; a week that does not fit the
    // offer means the offer changed, and the account is read instead.
    void update(const core::Account::Week& week);
    // Signs out locally: keychain item deleted, watch ended, state cleared.
    void end();

    QCoro::Task<core::RelayDone> requestCode(QString email,
                                             std::optional<QString> referral) override;
    QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>>
    signIn(QString email, QString code, std::optional<QString> referral) override;
    void signOut() override;
    QCoro::Task<core::RelayDone> deleteAccount() override;
    void refreshAccount() override;
    QCoro::Task<core::RelayResult<QUrl>> paymentPage(core::PaymentPage page) override;
    void watchPayment() override;

Q_SIGNALS:
    // After a sign-in, a shown account read, a weekly update and the end of
    // the session.
    void changed();
    // The session has ended, whatever the reason.
    void signedOut();

private:
    struct PaymentState {
        core::Account::Offer offer;
        std::optional<core::Account::Subscription> subscription;

        static PaymentState of(const core::Account& account) {
            return {account.offer, account.subscription};
        }
        friend bool operator==(const PaymentState&, const PaymentState&) = default;
    };

    core::RelayClient client() const;
    QCoro::Task<> reloadAccount();
    void endPaymentWatch();
    void scheduleWatchRead(quint64 watch);
    QCoro::Task<> watchRead(quint64 watch);
    // Ends the session when the relay refused this token and it is still current.
    void endIfSignedOut(const core::RelayFailure& failure, const QString& token);

    StatusModel& m_status;
    core::AsyncKeychain& m_keychain;
    const core::KeychainItem m_item = core::KeychainItem::session();
    core::SettingsStore m_store;
    Clock& m_clock;
    std::shared_ptr<core::RelayTransport> m_transport;

    std::optional<QString> m_token;
    bool m_started = false;
    // Bumped at every sign-in and sign-out, so that a slow keychain read at
    // start-up never overrides a session opened meanwhile.
    quint64 m_sessionChanges = 0;

    qint64 m_accountReads = 0;
    qint64 m_shownAccountRead = 0;

    std::optional<PaymentState> m_paymentBaseline;
    std::unique_ptr<Clock::Timer> m_paymentTimer;
    // Numbers the watches; a read of an ended watch does nothing afterwards.
    quint64 m_paymentWatch = 0;
    double m_paymentDeadline = 0;
};

} // namespace parlova::app
