#include "app/windows/WelcomeFlow.h"

#include "app/windows/ReferralNoticeView.h"
#include "app/windows/SignInView.h"
#include "app/windows/WelcomeView.h"

#include <QVBoxLayout>

namespace parlova::app {

WelcomeFlow::WelcomeFlow(StatusModel& status, SignInModel& signIn, Clock& clock,
                         platform::Permissions* permissions, std::function<void()> onClose,
                         QWidget* parent)
    : QWidget(parent)
    , m_status(status)
    , m_signIn(signIn) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_signInView = new SignInView(signIn, clock, this);
    m_noticeView = new ReferralNoticeView([this] { m_signIn.restart(); }, this);
    m_welcomeView = new WelcomeView(status, permissions, std::move(onClose), this);
    layout->addWidget(m_signInView);
    layout->addWidget(m_noticeView);
    layout->addWidget(m_welcomeView);

    connect(&m_status, &StatusModel::signedInChanged, this, &WelcomeFlow::decide);
    connect(&m_status, &StatusModel::accountChanged, this, &WelcomeFlow::decide);
    connect(&m_signIn, &SignInModel::referralOutcomeChanged, this, &WelcomeFlow::decide);
    connect(&m_signIn, &SignInModel::sentEmailChanged, this, &WelcomeFlow::decide);
    decide();
}

WelcomeFlow::Page WelcomeFlow::page() const {
    if (!m_status.signedIn())
        return Page::signIn;
    if (m_signIn.referralOutcome())
        return Page::referralNotice;
    return Page::welcome;
}

void WelcomeFlow::decide() {
    const Page shown = page();
    if (shown == Page::referralNotice) {
        const std::optional<core::Account>& account = m_status.account();
        m_noticeView->setNotice(*m_signIn.referralOutcome(),
                                account ? account->email : m_signIn.sentEmail());
    }
    m_signInView->setVisible(shown == Page::signIn);
    m_noticeView->setVisible(shown == Page::referralNotice);
    m_welcomeView->setVisible(shown == Page::welcome);
}

} // namespace parlova::app
