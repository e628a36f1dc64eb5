#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/SignInModel.h"
#include "app/controllers/StatusModel.h"

#include <QWidget>

#include <functional>

namespace parlova::platform {
class Permissions;
}

namespace parlova::app {

class ReferralNoticeView;
class SignInView;
class WelcomeView;

// What the welcome window shows, decided again at every change: the sign-in
// form while nobody is signed in, then the referral notice if the sign-in
// answered one, then the permission steps. A sign-in thus moves the same
// window on; only the welcome screen's button or the close button closes it.
class WelcomeFlow : public QWidget {
    Q_OBJECT

public:
    enum class Page { signIn, referralNotice, welcome };

    WelcomeFlow(StatusModel& status, SignInModel& signIn, Clock& clock,
                platform::Permissions* permissions, std::function<void()> onClose,
                QWidget* parent = nullptr);

    Page page() const;
    SignInView* signInView() const { return m_signInView; }
    ReferralNoticeView* referralNoticeView() const { return m_noticeView; }
    WelcomeView* welcomeView() const { return m_welcomeView; }

private:
    void decide();

    StatusModel& m_status;
    SignInModel& m_signIn;
    SignInView* m_signInView;
    ReferralNoticeView* m_noticeView;
    WelcomeView* m_welcomeView;
};

} // namespace parlova::app
