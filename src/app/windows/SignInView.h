#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/SignInModel.h"

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace parlova::app {

class FeedbackLines;

// The sign-in form in the welcome window: the e-mail step (address and an
// optional referral code), then the code step with its resend countdown,
// redrawn every second. Keyboard focus follows the step.
class SignInView : public QWidget {
    Q_OBJECT

public:
    SignInView(SignInModel& model, Clock& clock, QWidget* parent = nullptr);
    ~SignInView() override;

    QLineEdit* emailField() const { return m_email; }
    QLineEdit* codeField() const { return m_code; }
    QPushButton* resendButton() const { return m_resend; }
    QPushButton* changeEmailButton() const { return m_changeEmail; }
    // The error line of the step shown, empty without error.
    QString errorText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showStep();
    void showFields();
    void showState();
    void focusStep();
    // Redraws the resend button and plans the next redraw for the moment
    // the countdown changes.
    void tick();

    SignInModel& m_model;
    Clock& m_clock;
    std::unique_ptr<Clock::Timer> m_tick;

    QWidget* m_emailStep;
    QLineEdit* m_email;
    QLineEdit* m_referral;
    QPushButton* m_sendCode;
    QWidget* m_sendBusy;

    QWidget* m_codeStep;
    QLabel* m_codeSubtitle;
    QLineEdit* m_code;
    QPushButton* m_submit;
    QWidget* m_submitBusy;
    QPushButton* m_changeEmail;
    QPushButton* m_resend;

    FeedbackLines* m_emailFeedback;
    FeedbackLines* m_codeFeedback;
};

} // namespace parlova::app
