#pragma once

#include "platform/Permissions.h"
#include "platform/linux/DisplaySession.h"
#include "platform/linux/HelpPage.h"

#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <sys/types.h>

class QMediaDevices;

namespace parlova::platform {

class WaylandPaste;

// The permissions of a Linux desktop. Accessibility: on X11 the XInput 2.2
// and XTEST extensions (the server lets every client watch keys and type);
// on Wayland a door for the hold key (a desktop shortcut, the compositor's
// bindings, or a readable keyboard under /dev/input) and a paste path that
// can type (without one given, a writable /dev/uinput). Microphone: the sound
// server lists a default input. The requests open the help page at the
// matching section, unless the paste path asks the desktop itself.
class DesktopPermissions final : public Permissions {
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    // Without an opener, pages open in the desktop's browser.
    DesktopPermissions(DisplaySession session, HelpPage help = HelpPage(), UrlOpener open = {},
                       std::shared_ptr<WaylandPaste> paste = {}, QObject* parent = nullptr);
    ~DesktopPermissions() override;

    core::Readiness::Microphone microphone() override;
    bool accessibility() override;

    void requestMicrophone() override;
    void requestAccessibility() override;

private:
    bool x11Extensions();
    bool readableKeyboard();
    bool pasteReady() const;

    const DisplaySession m_session;
    const HelpPage m_help;
    const UrlOpener m_open;
    const std::shared_ptr<WaylandPaste> m_paste;
    // Keeps the sound server's device list up to date without a new
    // connection per question.
    QMediaDevices* m_devices = nullptr;
    // The extensions of a display do not change while it runs.
    std::optional<bool> m_x11Extensions;
    // Whether each event node (by device number) is a keyboard; learnt once.
    std::map<dev_t, bool> m_keyboards;
};

} // namespace parlova::platform
