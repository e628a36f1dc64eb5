#include "app/AppDelegate.h"

#include "app/controllers/StatusAppearance.h"
#include "app/widgets/Symbols.h"
#include "core/media/DictationTakeFiles.h"
#include "core/program/SingleInstance.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QSystemTrayIcon>

namespace parlova::app {

using Screen = WindowCoordinator::Screen;

namespace {

// A dark panel takes the light drawing; the theme's window colour is the
// best guess of the panel's.
bool darkPanel() {
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

} // namespace

AppDelegate::AppDelegate(AppParts parts, QObject* parent)
    : QObject(parent)
    , m_takeFolder(parts.takeFolder.isEmpty() ? QDir::tempPath() : parts.takeFolder)
    , m_wantsStatusItem(parts.statusItem)
    , m_loginItem(std::move(parts.loginItem))
    , m_browser(std::move(parts.browser))
    , m_clock(*parts.clock)
    , m_controller(std::make_unique<DictationController>(
          std::move(parts.devices), std::move(parts.store), *parts.keychain, *parts.clock,
          std::move(parts.transport))) {}

AppDelegate::~AppDelegate() {
    // The menu and the windows refer to the coordinator's models.
    delete m_statusItem;
    m_statusMenu.reset();
    m_windows.reset();
}

WindowCoordinator& AppDelegate::windows() {
    if (!m_windows) {
        WindowOptions options;
        options.permissions = &m_controller->permissions();
        options.loginItem = m_loginItem;
        options.browser = m_browser;
        m_windows = std::make_unique<WindowCoordinator>(m_controller->status(), *m_controller,
                                                        m_controller->session(), m_clock,
                                                        std::move(options));
    }
    return *m_windows;
}

StatusMenu& AppDelegate::statusMenu() {
    if (!m_statusMenu) {
        const QPointer<AppDelegate> self(this);
        m_statusMenu = std::make_unique<StatusMenu>(windows(), [self] {
            if (self)
                self->m_controller->session().refreshAccount();
        });
    }
    return *m_statusMenu;
}

QCoro::Task<> AppDelegate::launch() {
    core::DictationTakeFiles::removeLeftovers(m_takeFolder);
    installStatusItem();

    // Connections made with this object as context die with it.
    DictationController& controller = *m_controller;
    SessionController& session = controller.session();
    StatusModel& status = controller.status();
    connect(&controller, &DictationController::changed, this, &AppDelegate::refresh);
    connect(&controller, &DictationController::activityChanged, this, &AppDelegate::refresh);
    connect(&controller, &DictationController::welcomeNeeded, this,
            [this] { windows().show(Screen::welcome); });
    connect(&controller, &DictationController::proNeeded, this,
            [this] { windows().show(Screen::pro); });
    connect(&session, &SessionController::changed, this, &AppDelegate::refresh);
    connect(&session, &SessionController::signedOut, this, [this] {
        m_controller->sessionDidEnd();
        windows().showSignIn();
    });
    for (auto signal : {&StatusModel::signedInChanged, &StatusModel::accountChanged,
                        &StatusModel::microphoneChanged, &StatusModel::accessibilityChanged,
                        &StatusModel::holdKeyChanged, &StatusModel::lastDictationKeptChanged})
        connect(&status, signal, this, &AppDelegate::refresh);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    m_controller->session().applicationDidBecomeActive();
            });

    const QPointer<AppDelegate> self(this);
    QCoro::Task<> starting = controller.start();
    refresh();
    co_await std::move(starting);
    if (!self)
        co_return;
    refresh();

    // Decided once the keychain has said whether someone is signed in.
    if (!status.signedIn() || status.microphone() != core::Readiness::Microphone::granted ||
        !status.accessibility())
        windows().show(Screen::welcome);

    const QList<core::DeepLink> links = m_pendingLinks.value_or(QList<core::DeepLink>());
    m_pendingLinks.reset();
    for (const core::DeepLink& link : links)
        handle(link);
}

void AppDelegate::installStatusItem() {
    StatusMenu& menu = statusMenu();
    if (!m_wantsStatusItem || m_statusItem)
        return;
    m_statusItem = new QSystemTrayIcon(this);
    m_statusItem->setContextMenu(menu.menu());
    // A left click opens the same menu: the item has nothing else to do.
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    statusMenu().menu()->popup(QCursor::pos());
            });
    refresh();
    m_statusItem->show();
}

void AppDelegate::refresh() {
    const StatusAppearance appearance =
        StatusAppearance::of(m_controller->activity(), m_controller->status());
    statusMenu().update(appearance.line, m_controller->status().account());
    if (m_controller->status().lastDictationKept()) {
        const QPointer<DictationController> controller(m_controller.get());
        statusMenu().offerPasteLast([controller] {
            if (controller)
                controller->pasteLast();
        });
    } else {
        statusMenu().offerPasteLast({});
    }
    if (!m_statusItem)
        return;
    const bool dark = darkPanel();
    if (appearance.symbol != m_shownSymbol || dark != m_shownDark) {
        m_statusItem->setIcon(Symbols::statusIcon(appearance.symbol, dark));
        m_shownSymbol = appearance.symbol;
        m_shownDark = dark;
    }
    m_statusItem->setToolTip(appearance.line);
}

void AppDelegate::open(const QList<QUrl>& urls) {
    QList<core::DeepLink> links;
    for (const QUrl& url : urls) {
        if (const std::optional<core::DeepLink> link = core::DeepLink::fromUrl(url))
            links.append(*link);
    }
    if (m_pendingLinks) {
        m_pendingLinks->append(links);
        return;
    }
    for (const core::DeepLink& link : links)
        handle(link);
}

void AppDelegate::serve(core::SingleInstance& instance) {
    connect(&instance, &core::SingleInstance::received, this, [this](const QStringList& handed) {
        if (handed.isEmpty())
            reopen();
        else
            open(QUrl::fromStringList(handed));
    });
    connect(&instance, &core::SingleInstance::holdKeyHandedOver, this,
            [this](bool down, double at) { m_controller->handOverHoldKey(down, at); });
    instance.setPasteLast([this] { return m_controller->pasteLast(); });
}

void AppDelegate::reopen() {
    if (!isLaunching())
        windows().show(Screen::settings);
}

void AppDelegate::handle(const core::DeepLink& link) {
    StatusModel& status = m_controller->status();
    switch (link.kind()) {
    case core::DeepLink::Kind::account:
        if (status.signedIn())
            windows().show(Screen::pro);
        return;
    case core::DeepLink::Kind::referral:
        windows().signIn().prefill(link.code());
        if (!status.signedIn()) {
            windows().show(Screen::welcome);
            return;
        }
        windows().referral().setIgnoredCode(link.code());
        windows().show(Screen::referral);
        return;
    }
}

} // namespace parlova::app
