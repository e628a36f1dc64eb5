#include "app/controllers/SignInModel.h"

#include "app/controllers/AssignIfChanged.h"
#include "core/domain/ReferralCode.h"
#include "core/domain/SignInCode.h"
#include "core/texts/Texts.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace parlova::app {

SignInModel::SignInModel(SessionActions& session, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_clock(clock) {}

void SignInModel::setEmail(const QString& email) {
    if (assignIfChanged(m_email, email))
        Q_EMIT emailChanged();
}

void SignInModel::setReferral(const QString& referral) {
    if (assignIfChanged(m_referral, referral))
        Q_EMIT referralChanged();
}

void SignInModel::setCode(const QString& text) {
    const QString digits = core::SignInCode::digits(text);
    if (digits == m_code)
        return;
    setCodeField(digits);
    setError(std::nullopt);
    if (core::SignInCode::isComplete(digits))
        signIn(); // runs on by itself; the model holds the outcome
}

void SignInModel::restart() {
    setStep(Step::email());
    setCodeField({});
    setError(std::nullopt);
    setNotice(std::nullopt);
    setReferralOutcome(std::nullopt);
}

void SignInModel::prefill(const QString& referral) {
    setReferral(referral);
    if (m_step.isCode()) {
        setStep(Step::email());
        setCodeField({});
        setError(std::nullopt);
        setNotice(std::nullopt);
    }
}

QCoro::Task<> SignInModel::requestCode() {
    const QString address = m_email.trimmed();
    const QString typedReferral = m_referral.trimmed();
    std::optional<QString> referral;
    if (!typedReferral.isEmpty()) {
        referral = core::ReferralCode::normalized(typedReferral);
        if (!referral) {
            setError(core::Texts::referralInvalid());
            setNotice(std::nullopt);
            co_return;
        }
    }
    if (m_isWorking)
        co_return;
    setWorking(true);
    setError(std::nullopt);
    setNotice(std::nullopt);

    const QPointer<SignInModel> self(this);
    QCoro::Task<core::RelayDone> asking = m_session.requestCode(address, referral);
    const core::RelayDone done = co_await std::move(asking);
    if (!self)
        co_return;
    if (done) {
        setSentEmail(address);
        setSentReferral(referral);
        setReferral(referral.value_or(QString()));
        setCodeField({});
        setStep(Step::code(m_clock.now()));
    } else {
        setError(done.error().message());
    }
    setWorking(false);
}

QCoro::Task<> SignInModel::resend() {
    if (m_isWorking)
        co_return;
    setWorking(true);
    setError(std::nullopt);
    setNotice(std::nullopt);

    const QPointer<SignInModel> self(this);
    QCoro::Task<core::RelayDone> asking = m_session.requestCode(m_sentEmail, m_sentReferral);
    const core::RelayDone done = co_await std::move(asking);
    if (!self)
        co_return;
    if (done) {
        setStep(Step::code(m_clock.now()));
        setNotice(core::Texts::codeResent(m_sentEmail));
    } else {
        setError(done.error().message());
    }
    setWorking(false);
}

QCoro::Task<> SignInModel::signIn() {
    if (!core::SignInCode::isComplete(m_code) || m_isWorking)
        co_return;
    setWorking(true);
    setError(std::nullopt);
    setNotice(std::nullopt);

    const QPointer<SignInModel> self(this);
    QCoro::Task<core::RelayResult<std::optional<core::ReferralOutcome>>> checking =
        m_session.signIn(m_sentEmail, m_code, m_sentReferral);
    const core::RelayResult<std::optional<core::ReferralOutcome>> outcome =
        co_await std::move(checking);
    if (!self)
        co_return;
    if (outcome)
        setReferralOutcome(outcome.value());
    else
        setError(outcome.error().message());
    setWorking(false);
}

int SignInModel::resendCountdown() const {
    if (!m_step.isCode())
        return 0;
    const double elapsed = static_cast<double>(m_step.sentAt().msecsTo(m_clock.now())) / 1000.0;
    // A wall clock set back never holds the button for longer than the delay.
    return std::clamp(static_cast<int>(std::ceil(resendDelay - elapsed)), 0, resendDelay);
}

QString SignInModel::resendLabel() const {
    const int seconds = resendCountdown();
    if (seconds < 1)
        return core::Texts::resend();
    return core::Texts::resendIn(QString::number(seconds));
}

bool SignInModel::looksLikeEmail(const QString& text) {
    const QString trimmed = text.trimmed();
    const QStringList pieces = trimmed.split(u'@');
    if (pieces.size() != 2 || pieces.front().isEmpty() || !pieces.back().contains(u'.'))
        return false;
    return std::none_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c.isSpace(); });
}

void SignInModel::setStep(const Step& step) {
    if (assignIfChanged(m_step, step))
        Q_EMIT stepChanged();
}

void SignInModel::setWorking(bool working) {
    if (assignIfChanged(m_isWorking, working))
        Q_EMIT isWorkingChanged();
}

void SignInModel::setError(const std::optional<QString>& error) {
    if (assignIfChanged(m_error, error))
        Q_EMIT errorChanged();
}

void SignInModel::setNotice(const std::optional<QString>& notice) {
    if (assignIfChanged(m_notice, notice))
        Q_EMIT noticeChanged();
}

void SignInModel::setSentEmail(const QString& email) {
    if (assignIfChanged(m_sentEmail, email))
        Q_EMIT sentEmailChanged();
}

void SignInModel::setReferralOutcome(const std::optional<core::ReferralOutcome>& outcome) {
    if (assignIfChanged(m_referralOutcome, outcome))
        Q_EMIT referralOutcomeChanged();
}

void SignInModel::setSentReferral(const std::optional<QString>& referral) {
    if (assignIfChanged(m_sentReferral, referral))
        Q_EMIT sentReferralChanged();
}

void SignInModel::setCodeField(const QString& code) {
    if (assignIfChanged(m_code, code))
        Q_EMIT codeChanged();
}

} // namespace parlova::app
