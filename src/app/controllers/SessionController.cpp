#include "app/controllers/SessionController.h"

#include <QPointer>

namespace parlova::app {

using core::RelayDone;
using core::RelayFailure;
using core::RelayResult;

SessionController::SessionController(StatusModel& status, core::AsyncKeychain& keychain,
                                     core::SettingsStore store, Clock& clock,
                                     std::shared_ptr<core::RelayTransport> transport,
                                     QObject* parent)
    : QObject(parent)
    , m_status(status)
    , m_keychain(keychain)
    , m_store(std::move(store))
    , m_clock(clock)
    , m_transport(std::move(transport)) {}

SessionController::~SessionController() = default;

core::RelayClient SessionController::client() const {
    if (m_transport)
        return core::RelayClient(m_store.relayOrigin(), m_transport, {},
                                 m_store.relayAuthorities());
    return core::RelayClient(m_store);
}

QCoro::Task<> SessionController::start() {
    const QPointer<SessionController> self(this);
    const quint64 changes = m_sessionChanges;
    QCoro::Task<core::KeychainItem::Lookup> reading = m_keychain.read(m_item);
    const core::KeychainItem::Lookup lookup = co_await std::move(reading);
    if (!self)
        co_return;
    m_started = true;
    // A sign-in made while the keychain answered is newer than what it holds.
    if (changes != m_sessionChanges)
        co_return;
    if (lookup.ok())
        m_token = lookup.value();
    m_status.setSignedIn(m_token.has_value());
    reloadAccount();
}

QCoro::Task<> SessionController::reloadAccount() {
    if (!m_token)
        co_return;
    const QString token = *m_token;
    const qint64 read = ++m_accountReads;

    const QPointer<SessionController> self(this);
    QCoro::Task<RelayResult<core::Account>> reading = client().account(token);
    const RelayResult<core::Account> answer = co_await std::move(reading);
    if (!self)
        co_return;
    if (!answer) {
        // Other failures leave what is shown as it was, without a word.
        endIfSignedOut(answer.error(), token);
        co_return;
    }
    if (m_token != token || m_shownAccountRead >= read)
        co_return;
    m_shownAccountRead = read;
    m_status.setAccount(answer.value());
    if (m_paymentBaseline && *m_paymentBaseline != PaymentState::of(answer.value()))
        endPaymentWatch();
    Q_EMIT changed();
}

void SessionController::refreshAccount() {
    reloadAccount();
}

void SessionController::applicationDidBecomeActive() {
    if (m_paymentBaseline)
        reloadAccount();
}

void SessionController::update(const core::Account::Week& week) {
    std::optional<core::Account> account = m_status.account();
    if (!account)
        return;
    if (!account->update(week)) {
        // The offer changed on the relay: only a full read can tell how.
        reloadAccount();
        return;
    }
    m_status.setAccount(account);
    // Every read already on its way is older than this week.
    m_shownAccountRead = m_accountReads;
    Q_EMIT changed();
}

QCoro::Task<RelayDone> SessionController::requestCode(QString email,
                                                      std::optional<QString> referral) {
    QCoro::Task<RelayDone> asking = client().requestCode(std::move(email), std::move(referral));
    co_return co_await std::move(asking);
}

QCoro::Task<RelayResult<std::optional<core::ReferralOutcome>>>
SessionController::signIn(QString email, QString code, std::optional<QString> referral) {
    const QPointer<SessionController> self(this);
    QCoro::Task<RelayResult<core::SignIn>> checking =
        client().signIn(std::move(email), std::move(code), std::move(referral));
    const RelayResult<core::SignIn> answer = co_await std::move(checking);
    if (!answer)
        co_return answer.error();
    const core::SignIn& signIn = answer.value();
    if (self) {
        // Keychain calls run in order: a later sign-out's removal comes after.
        m_keychain.store(m_item, signIn.token);
        ++m_sessionChanges;
        m_token = signIn.token;
        m_status.setSignedIn(true);
        m_status.setAccount(signIn.account);
        Q_EMIT changed();
    }
    co_return signIn.referral;
}

void SessionController::signOut() {
    if (!m_token)
        return;
    // The relay's answer changes nothing: the session ends here anyway.
    client().signOut(*m_token);
    end();
}

QCoro::Task<RelayDone> SessionController::deleteAccount() {
    if (!m_token)
        co_return RelayFailure::signedOut();
    const QString token = *m_token;
    const QPointer<SessionController> self(this);
    QCoro::Task<RelayDone> deleting = client().deleteAccount(token);
    const RelayDone done = co_await std::move(deleting);
    if (self) {
        if (done && m_token == token)
            end();
        else if (!done)
            endIfSignedOut(done.error(), token);
    }
    co_return done;
}

QCoro::Task<RelayResult<QUrl>> SessionController::paymentPage(core::PaymentPage page) {
    if (!m_token)
        co_return RelayFailure::signedOut();
    const QString token = *m_token;
    const QPointer<SessionController> self(this);
    QCoro::Task<RelayResult<QUrl>> asking = client().paymentPage(page, token);
    RelayResult<QUrl> url = co_await std::move(asking);
    if (self && !url)
        endIfSignedOut(url.error(), token);
    co_return url;
}

void SessionController::endIfSignedOut(const RelayFailure& failure, const QString& token) {
    if (failure.kind() == RelayFailure::Kind::signedOut && m_token == token)
        end();
}

void SessionController::end() {
    m_keychain.remove(m_item);
    endPaymentWatch();
    ++m_sessionChanges;
    m_token.reset();
    m_status.setSignedIn(false);
    m_status.setAccount(std::nullopt);
    Q_EMIT changed();
    Q_EMIT signedOut();
}

void SessionController::watchPayment() {
    const std::optional<core::Account>& account = m_status.account();
    if (!account)
        return;
    m_paymentBaseline = PaymentState::of(*account);
    m_status.setPaymentPending(true);
    m_paymentTimer.reset();
    ++m_paymentWatch;
    m_paymentDeadline = m_clock.monotonic() + paymentWatchDuration;
    scheduleWatchRead(m_paymentWatch);
}

void SessionController::scheduleWatchRead(quint64 watch) {
    // The timer belongs to this controller: it never fires after it is gone.
    m_paymentTimer = m_clock.after(paymentWatchPeriod, [this, watch] { watchRead(watch); });
}

QCoro::Task<> SessionController::watchRead(quint64 watch) {
    const QPointer<SessionController> self(this);
    QCoro::Task<> reading = reloadAccount();
    co_await std::move(reading);
    if (!self || watch != m_paymentWatch || !m_paymentBaseline)
        co_return;
    if (m_clock.monotonic() < m_paymentDeadline) {
        scheduleWatchRead(watch);
        co_return;
    }
    // From now on only an activation of the application reads the account.
    m_paymentTimer.reset();
    m_status.setPaymentPending(false);
}

void SessionController::endPaymentWatch() {
    m_paymentBaseline.reset();
    m_paymentTimer.reset();
    ++m_paymentWatch;
    m_status.setPaymentPending(false);
}

} // namespace parlova::app
