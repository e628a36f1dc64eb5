#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/SessionActions.h"
#include "core/domain/ReferralOutcome.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>
#include <utility>

namespace parlova::app {

// The sign-in form of the welcome window: first the e-mail address with an
// optional referral code, then the six-digit code the relay e-mailed. It
// cleans what the user types, calls the session, and exposes an error line,
// an information line and a busy flag. Typing or pasting the sixth digit
// checks the code at once. At most one relay call runs at a time: each
// operation returns at once while another one runs. Main thread only.
class SignInModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString referral READ referral WRITE setReferral NOTIFY referralChanged)
    Q_PROPERTY(QString code READ code WRITE setCode NOTIFY codeChanged)
    Q_PROPERTY(parlova::app::SignInModel::Step step READ step NOTIFY stepChanged)
    Q_PROPERTY(bool isWorking READ isWorking NOTIFY isWorkingChanged)
    Q_PROPERTY(std::optional<QString> error READ error NOTIFY errorChanged)
    Q_PROPERTY(std::optional<QString> notice READ notice NOTIFY noticeChanged)
    Q_PROPERTY(QString sentEmail READ sentEmail NOTIFY sentEmailChanged)
    Q_PROPERTY(std::optional<parlova::core::ReferralOutcome> referralOutcome READ referralOutcome
                   NOTIFY referralOutcomeChanged)
    Q_PROPERTY(std::optional<QString> sentReferral READ sentReferral NOTIFY sentReferralChanged)

public:
    // Which half of the form is shown; the code step remembers when the last
    // code was asked for.
    class Step {
    public:
        enum class Kind { code, email };

        static Step email() { return Step(Kind::email, {}); }
        static Step code(const QDateTime& sentAt) { return Step(Kind::code, sentAt); }

        Kind kind() const { return m_kind; }
        bool isCode() const { return m_kind == Kind::code; }
        // Meaningful on the code step only.
        const QDateTime& sentAt() const { return m_sentAt; }

        friend bool operator==(const Step&, const Step&) = default;

    private:
        Step(Kind kind, QDateTime sentAt)
            : m_kind(kind)
            , m_sentAt(std::move(sentAt)) {}

        Kind m_kind;
        QDateTime m_sentAt;
    };

    // A new code may be asked for this long after the last one.
    static constexpr int resendDelay = 30;

    // The clock dates the code requests.
    SignInModel(SessionActions& session, Clock& clock, QObject* parent = nullptr);

    const QString& email() const { return m_email; }
    const QString& referral() const { return m_referral; }
    const QString& code() const { return m_code; }
    const Step& step() const { return m_step; }
    bool isWorking() const { return m_isWorking; }
    const std::optional<QString>& error() const { return m_error; }
    const std::optional<QString>& notice() const { return m_notice; }
    const QString& sentEmail() const { return m_sentEmail; }
    const std::optional<core::ReferralOutcome>& referralOutcome() const {
        return m_referralOutcome;
    }
    const std::optional<QString>& sentReferral() const { return m_sentReferral; }

    // The fields as typed.
    void setEmail(const QString& email);
    void setReferral(const QString& referral);
    // The code field's setter, on every edit: keeps at most six digits and
    // checks a complete code once (the same code pasted again starts nothing).
    void setCode(const QString& text);

    // Back to the e-mail step; the address and the referral code stay.
    void restart();
    // A referral code from a link: fills the field and, from the code step,
    // goes back to the e-mail step.
    void prefill(const QString& referral);

    // Sends the trimmed address and the normalised referral code, then moves
    // to the code step. An invalid referral code is refused before any call.
    QCoro::Task<> requestCode();
    // A new code for the same address and referral code.
    QCoro::Task<> resend();
    // Checks a complete code; on success the session is open.
    QCoro::Task<> signIn();

    // Seconds left before resend() may be offered (at least 1), or 0 when it
    // may be offered now or the form is on the e-mail step.
    int resendCountdown() const;
    // The resend button's text: with the countdown while it runs.
    QString resendLabel() const;

    // Plausible as an address: one "@" with something before it, a "." after
    // it, and no white space inside once trimmed.
    static bool looksLikeEmail(const QString& text);

Q_SIGNALS:
    void emailChanged();
    void referralChanged();
    void codeChanged();
    void stepChanged();
    void isWorkingChanged();
    void errorChanged();
    void noticeChanged();
    void sentEmailChanged();
    void referralOutcomeChanged();
    void sentReferralChanged();

private:
    void setStep(const Step& step);
    void setWorking(bool working);
    void setError(const std::optional<QString>& error);
    void setNotice(const std::optional<QString>& notice);
    void setSentEmail(const QString& email);
    void setReferralOutcome(const std::optional<core::ReferralOutcome>& outcome);
    void setSentReferral(const std::optional<QString>& referral);
    void setCodeField(const QString& code);

    SessionActions& m_session;
    Clock& m_clock;

    QString m_email;
    QString m_referral;
    QString m_code;
    Step m_step = Step::email();
    bool m_isWorking = false;
    std::optional<QString> m_error;
    std::optional<QString> m_notice;
    QString m_sentEmail;
    std::optional<core::ReferralOutcome> m_referralOutcome;
    std::optional<QString> m_sentReferral;
};

} // namespace parlova::app
