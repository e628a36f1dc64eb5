#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/LoginItem.h"
#include "app/controllers/ProModel.h"
#include "app/controllers/ReferralModel.h"
#include "app/controllers/SessionActions.h"
#include "app/controllers/SignInModel.h"
#include "app/controllers/StatusModel.h"
#include "core/settings/SettingsActions.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QWidget;

namespace parlova::platform {
class Permissions;
}

namespace parlova::app {

class ScreenWindow;

// What the screens reach beyond the models.
struct WindowOptions {
    // Asked when the user wants to grant a permission; none does nothing.
    platform::Permissions* permissions = nullptr;
    LoginItem loginItem;
    // Opens pages in the browser; none means the desktop's browser.
    ProModel::Browser browser;
};

// Owns the program's four windows, one per screen: each is made the first
// time it is asked for and reused afterwards; closing one only hides it, so
// a screen's own state (a deletion error, say) is still there next time.
// Also owns the models of the sign-in form, the Pro window and the referral
// window. Main thread only.
class WindowCoordinator : public QObject {
    Q_OBJECT

public:
    enum class Screen { welcome, settings, pro, referral };
    Q_ENUM(Screen)

    using Options = WindowOptions;

    WindowCoordinator(StatusModel& status, core::SettingsActions& settings, SessionActions& session,
                      Clock& clock, Options options = {}, QObject* parent = nullptr);
    ~WindowCoordinator() override;

    // Brings the screen's window to the front, making it first if needed.
    // Every screen but the welcome one reads the account again; the Pro
    // screen also forgets the error of an earlier attempt.
    QWidget* show(Screen screen);
    // After the session ended: closes the settings, Pro and referral
    // windows and takes the sign-in form back to its start. Opens nothing.
    void showSignIn();
    // Hides the screen's window, if it was ever made.
    void close(Screen screen);
    // The screen's window; null until it is first shown.
    QWidget* window(Screen screen) const;

    StatusModel& status() { return m_status; }
    SignInModel& signIn() { return m_signIn; }
    ProModel& pro() { return m_pro; }
    ReferralModel& referral() { return m_referral; }
    core::Done<ProModel::Error> openUrl(const QUrl& url) const;

private:
    ScreenWindow* make(Screen screen);

    StatusModel& m_status;
    core::SettingsActions& m_settings;
    SessionActions& m_session;
    Clock& m_clock;
    Options m_options;
    SignInModel m_signIn;
    ProModel m_pro;
    ReferralModel m_referral;
    QMap<Screen, ScreenWindow*> m_windows;
};

} // namespace parlova::app
