#pragma once

#include "platform/linux/Clipboard.h"
#include "platform/linux/PasteShortcut.h"

#include <QObject>

#include <memory>
#include <optional>

namespace parlova::core {
class SecretStore;
}

namespace parlova::platform {

class RemoteDesktopPasteShortcut;
class UinputPasteShortcut;
class VirtualKeyboardPasteShortcut;
class WaylandConnection;

// How this Wayland session pastes, decided at run time and shared by the
// text inserter and the permissions, so that the readiness rows describe the
// path the paste really takes. First that the desktop offers: the
// compositor's virtual keyboard (wlroots desktops, nothing to allow), the
// RemoteDesktop portal (GNOME, KDE Plasma: allowed once in a dialog), and
// last a uinput keyboard (a udev rule that root installs).
class WaylandPaste final : public QObject, public PasteShortcut {
    Q_OBJECT

public:
    enum class Path { virtualKeyboard, portal, uinput };

    // The paste of this process's session, made on first use.
    static std::shared_ptr<WaylandPaste> session();

    WaylandPaste(std::shared_ptr<WaylandConnection> connection, core::SecretStore& keychain,
                 QObject* parent = nullptr);
    ~WaylandPaste() override;

    Path path() const;
    // Whether a paste can go out now without asking anything.
    bool ready() const;
    // Asks the desktop when the path is one that asks (the portal's
    // dialog); false when only the help page can say what to do.
    bool requestAccess();

    // The clipboard to use beside this paste: the compositor's data
    // control where it offers it, else Qt's own (on XWayland, its
    // selection, which GNOME hands to Wayland programs).
    std::unique_ptr<Clipboard> clipboard() const;

    QCoro::Task<core::Done<Error>> send() override;

private:
    QCoro::Task<void> probePortal();

    std::shared_ptr<WaylandConnection> m_connection;
    std::unique_ptr<VirtualKeyboardPasteShortcut> m_virtualKeyboard;
    std::unique_ptr<RemoteDesktopPasteShortcut> m_portal;
    std::unique_ptr<UinputPasteShortcut> m_uinput;
    // Unknown until the session bus has answered.
    std::optional<bool> m_portalOffered;
};

} // namespace parlova::platform
