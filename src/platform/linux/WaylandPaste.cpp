#include "platform/linux/WaylandPaste.h"

#include "platform/Keychain.h"
#include "platform/linux/DataControlClipboard.h"
#include "platform/linux/QtClipboard.h"
#include "platform/linux/RemoteDesktopPasteShortcut.h"
#include "platform/linux/UinputPasteShortcut.h"
#include "platform/linux/VirtualKeyboardPasteShortcut.h"
#include "platform/linux/WaylandConnection.h"
#include "platform/linux/WaylandFrontWindow.h"

#include <QPointer>

#include <unistd.h>

namespace parlova::platform {

std::shared_ptr<WaylandPaste> WaylandPaste::session() {
    static std::weak_ptr<WaylandPaste> current;
    if (std::shared_ptr<WaylandPaste> existing = current.lock())
        return existing;
    auto made = std::make_shared<WaylandPaste>(WaylandConnection::open(), Keychain::system());
    current = made;
    return made;
}

WaylandPaste::WaylandPaste(std::shared_ptr<WaylandConnection> connection,
                           core::SecretStore& keychain, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection)) {
    const auto frontIsTerminal = [] {
        return WaylandFrontWindow::isTerminal();
    };
    if (m_connection && VirtualKeyboardPasteShortcut::offered(*m_connection)) {
        m_virtualKeyboard =
            std::make_unique<VirtualKeyboardPasteShortcut>(m_connection, frontIsTerminal);
        return;
    }
    m_portal = std::make_unique<RemoteDesktopPasteShortcut>(keychain, frontIsTerminal);
    m_uinput = std::make_unique<UinputPasteShortcut>(frontIsTerminal);
    probePortal();
}

WaylandPaste::~WaylandPaste() = default;

QCoro::Task<void> WaylandPaste::probePortal() {
    QPointer<WaylandPaste> self(this);
    QCoro::Task<bool> asking = m_portal->offered();
    const bool offered = co_await std::move(asking);
    if (self)
        m_portalOffered = offered;
}

WaylandPaste::Path WaylandPaste::path() const {
    if (m_virtualKeyboard)
        return Path::virtualKeyboard;
    // A writable uinput is the better door while the portal has not been
    // allowed: it asks nothing.
    if (m_portalOffered.value_or(false) &&
        (m_portal->allowed() || ::access("/dev/uinput", W_OK) != 0))
        return Path::portal;
    return Path::uinput;
}

bool WaylandPaste::ready() const {
    switch (path()) {
    case Path::virtualKeyboard:
        return true;
    case Path::portal:
        return m_portal->allowed();
    case Path::uinput:
        return ::access("/dev/uinput", W_OK) == 0;
    }
    return false;
}

bool WaylandPaste::requestAccess() {
    if (path() != Path::portal || m_portal->allowed())
        return false;
    m_portal->requestAccess();
    return true;
}

std::unique_ptr<Clipboard> WaylandPaste::clipboard() const {
    // Even when our windows run on XWayland: sway and KWin hand XWayland's
    // selection to Wayland programs only while an X11 window has the focus,
    // which the window we paste into never is.
    if (m_connection && DataControlClipboard::offered(*m_connection))
        return std::make_unique<DataControlClipboard>(m_connection);
    return std::make_unique<QtClipboard>();
}

QCoro::Task<core::Done<PasteShortcut::Error>> WaylandPaste::send() {
    switch (path()) {
    case Path::virtualKeyboard:
        co_return co_await m_virtualKeyboard->send();
    case Path::portal:
        co_return co_await m_portal->send();
    case Path::uinput:
        co_return co_await m_uinput->send();
    }
    co_return Error::noKeyboard;
}

} // namespace parlova::platform
