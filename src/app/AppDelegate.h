#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/DictationController.h"
#include "app/windows/StatusMenu.h"
#include "app/windows/WindowCoordinator.h"
#include "core/domain/DeepLink.h"
#include "core/keychain/AsyncKeychain.h"
#include "core/relayclient/RelayTransport.h"
#include "core/settings/SettingsStore.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace parlova::core {
class SingleInstance;
}

namespace parlova::app {

// What the application runs with: the devices of a dictation, the
// preferences, the keychain and the clock (both outlive the delegate), and
// where take files live.
struct AppParts {
    DictationController::Devices devices;
    core::SettingsStore store;
    core::AsyncKeychain* keychain = nullptr;
    Clock* clock = nullptr;
    // None: the program's network transport.
    std::shared_ptr<core::RelayTransport> transport;
    LoginItem loginItem;
    ProModel::Browser browser;
    QString takeFolder;
    // Whether to put an icon in the desktop's tray (tests go without).
    bool statusItem = true;
};

// The running program: owns the dictation controller, the windows and the
// status menu; puts the status item in the tray; acts on the program's links.
// Links that arrive before the launch is over wait for its end. Main thread
// only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppParts parts, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Removes leftover takes, installs the status item and the callbacks,
    // starts the controller and, once the keychain has answered, shows the
    // welcome window if something is missing, then acts on the links that
    // arrived meanwhile.
    QCoro::Task<> launch();
    bool isLaunching() const { return m_pendingLinks.has_value(); }

    // URLs handed to the program; those that are not its links are ignored.
    void open(const QList<QUrl>& urls);
    // A launch of the program that carried no link: the user is looking for
    // it (perhaps on a desktop without a tray), so the settings come forward.
    void reopen();

    // Serves the later launches of the program that reach this one: their
    // links, a bare launch, the hold key of a desktop shortcut, and
    // `parlova --coller-derniere`.
    void serve(core::SingleInstance& instance);

    // The status item's symbol and tooltip and the menu's state line.
    void refresh();

    DictationController& controller() { return *m_controller; }
    WindowCoordinator& windows();
    StatusMenu& statusMenu();
    QSystemTrayIcon* statusItem() const { return m_statusItem; }

private:
    void handle(const core::DeepLink& link);
    void installStatusItem();

    QString m_takeFolder;
    bool m_wantsStatusItem;
    LoginItem m_loginItem;
    ProModel::Browser m_browser;
    Clock& m_clock;
    std::unique_ptr<DictationController> m_controller;
    std::unique_ptr<WindowCoordinator> m_windows;
    std::unique_ptr<StatusMenu> m_statusMenu;
    QSystemTrayIcon* m_statusItem = nullptr;
    QString m_shownSymbol;
    bool m_shownDark = false;
    // A list while launching; none once launched.
    std::optional<QList<core::DeepLink>> m_pendingLinks = QList<core::DeepLink>();
};

} // namespace parlova::app
