#pragma once

#include "platform/KeyMonitor.h"

#include <QDBusConnection>

#include <QCoro/QCoroTask>

#include <optional>

namespace parlova::platform {

class EvdevKeyMonitor;
class GlobalShortcutsKeyMonitor;

// The hold key of a Wayland session, from every door the desktop opens at
// once: a shortcut bound through the GlobalShortcuts portal (KDE Plasma,
// GNOME 48 and later, Hyprland), the compositor's own bindings running
// `parlova --maintenir` / `--relacher` (sway, river, labwc, Hyprland; they
// arrive through the single-instance socket, see noteHandedOver()), and the
// keyboards under /dev/input where the udev rule lets us read them. A press
// and its release come from the same door; a second door reporting the same
// key changes nothing, since a press while held and a release while idle do
// nothing.
class WaylandKeyMonitor final : public KeyMonitor {
    Q_OBJECT

public:
    explicit WaylandKeyMonitor(QDBusConnection bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    ~WaylandKeyMonitor() override;

    void setHoldKey(core::HoldKey key) override;
    core::HoldKey holdKey() const override;
    core::Done<Error> start() override;
    void stop() override;

    Source source() const override;
    void noteHandedOver() override;
    void configureShortcut() override;

    // Whether a monitor of this process has a door that works, for the
    // permissions, which cannot see the monitor the controller owns.
    static bool anySourceWorks();

private:
    QCoro::Task<> probePortal();
    void refreshSource();

    const QDBusConnection m_bus;
    GlobalShortcutsKeyMonitor* m_portal;
    EvdevKeyMonitor* m_keyboards;
    std::optional<bool> m_portalOffered;
    bool m_started = false;
    bool m_keyboardsOpen = false;
    // The compositor's configuration binds the key to us, or it already
    // handed a key over this run.
    bool m_bindings = false;
    Source m_source{Source::Kind::none, {}, false};
};

} // namespace parlova::platform
