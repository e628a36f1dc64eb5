#include "app/windows/WindowCoordinator.h"

#include "app/windows/ProView.h"
#include "app/windows/ReferralView.h"
#include "app/windows/ScreenWindow.h"
#include "app/windows/SettingsView.h"
#include "app/windows/WelcomeFlow.h"
#include "core/texts/Texts.h"

namespace parlova::app {

using core::Texts;

namespace {

ProModel::Browser browserOr(ProModel::Browser browser) {
    if (browser)
        return browser;
    return &ProModel::desktopBrowser;
}

} // namespace

WindowCoordinator::WindowCoordinator(StatusModel& status, core::SettingsActions& settings,
                                     SessionActions& session, Clock& clock, Options options,
                                     QObject* parent)
    : QObject(parent)
    , m_status(status)
    , m_settings(settings)
    , m_session(session)
    , m_clock(clock)
    , m_options(std::move(options))
    , m_signIn(session, clock)
    , m_pro(session, browserOr(m_options.browser))
    , m_referral() {
    m_options.browser = browserOr(m_options.browser);
}

WindowCoordinator::~WindowCoordinator() {
    qDeleteAll(m_windows);
}

QWidget* WindowCoordinator::show(Screen screen) {
    if (screen != Screen::welcome) {
        if (screen == Screen::pro)
            m_pro.clearError();
        m_session.refreshAccount();
    }
    ScreenWindow* window = m_windows.value(screen);
    const bool made = !window;
    if (made)
        window = make(screen);
    m_windows.insert(screen, window);
    if (made)
        window->centre();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void WindowCoordinator::showSignIn() {
    for (const Screen screen : {Screen::settings, Screen::pro, Screen::referral})
        close(screen);
    m_signIn.restart();
}

void WindowCoordinator::close(Screen screen) {
    if (ScreenWindow* window = m_windows.value(screen))
        window->close();
}

QWidget* WindowCoordinator::window(Screen screen) const {
    return m_windows.value(screen);
}

core::Done<ProModel::Error> WindowCoordinator::openUrl(const QUrl& url) const {
    return m_options.browser(url);
}

ScreenWindow* WindowCoordinator::make(Screen screen) {
    switch (screen) {
    case Screen::welcome: {
        auto* flow = new WelcomeFlow(m_status, m_signIn, m_clock, m_options.permissions,
                                     [this] { close(Screen::welcome); });
        return new ScreenWindow(flow, 460, Texts::welcomeTitle());
    }
    case Screen::settings: {
        auto* view = new SettingsView(
            m_status, m_settings, m_session, m_options.loginItem, [this] { show(Screen::welcome); },
            [this](const QUrl& url) { openUrl(url); });
        return new ScreenWindow(view, 480, Texts::settingsTitle());
    }
    case Screen::pro: {
        auto* view = new ProView(m_status, m_pro, m_clock, [this] { close(Screen::pro); });
        return new ScreenWindow(view, 440, Texts::proTitle());
    }
    case Screen::referral: {
        auto* view =
            new ReferralView(m_status, m_referral, m_clock, [this] { close(Screen::referral); });
        return new ScreenWindow(view, 440, Texts::referralTitle());
    }
    }
    return nullptr;
}

} // namespace parlova::app
