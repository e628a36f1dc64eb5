#pragma once

#include "platform/KeyMonitor.h"

#include <QDBusConnection>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

class QDBusMessage;
class QDBusServiceWatcher;

namespace parlova::platform {

class PortalRequest;

// The hold key as one shortcut of the desktop's GlobalShortcuts portal (KDE
// Plasma 5.27 and later, GNOME 48 and later, Hyprland): Activated is the
// press and Deactivated the release. We propose the hold key as the trigger;
// the desktop may refuse a modifier alone and let the user pick another, so
// the trigger in force is the one it reports. Other keys are not seen, so
// they cannot cancel a take from here.
class GlobalShortcutsKeyMonitor final : public KeyMonitor {
    Q_OBJECT

public:
    // The shortcut's id: the same at every start, so that desktops which
    // remember it bind it again without asking.
    static constexpr char shortcutId[] = "dicter";

    explicit GlobalShortcutsKeyMonitor(QDBusConnection bus = QDBusConnection::sessionBus(),
                                       QObject* parent = nullptr);
    ~GlobalShortcutsKeyMonitor() override;

    // Whether the desktop has the portal.
    static QCoro::Task<bool> offered(QDBusConnection bus);
    // The trigger we propose for a hold key, in the shortcuts' own notation.
    static QString preferredTrigger(core::HoldKey key);

    void setHoldKey(core::HoldKey key) override { m_holdKey = key; }
    core::HoldKey holdKey() const override { return m_holdKey; }
    // Binds asynchronously; true once the request is on its way. The
    // outcome is told by boundChanged().
    core::Done<Error> start() override;
    void stop() override;

    // The desktop accepted the shortcut in a session of ours, with or
    // without a trigger.
    bool bound() const { return !m_session.isEmpty(); }
    // The trigger in force as the desktop words it; empty while unbound or
    // when the desktop left the shortcut without one.
    QString trigger() const { return m_trigger; }
    // The desktop can show its own dialog to change the shortcut.
    bool canConfigure() const { return m_version >= 2; }
    void configure();

Q_SIGNALS:
    void boundChanged();
    void triggerChanged();

private Q_SLOTS:
    void onActivated(const QDBusMessage& message);
    void onDeactivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    // The press of the hold under way, by the desktop's stamp and by ours.
    struct Press {
        quint64 portalMilliseconds = 0;
        double at = 0.0;
    };

    QCoro::Task<> bind(unsigned generation);
    bool ours(const QDBusMessage& message) const;
    void setTrigger(const QString& trigger);
    void lose();
    void listen(bool on);

    PortalRequest* m_portal;
    QDBusServiceWatcher* m_watcher;
    core::HoldKey m_holdKey = core::HoldKey::standard;
    QString m_session;
    QString m_trigger;
    uint m_version = 0;
    // Bumped by every start and stop: a bind that finishes late for an
    // older start gives its session back.
    unsigned m_generation = 0;
    std::optional<Press> m_pressed;
};

} // namespace parlova::platform
