// The Linux backends of the platform interfaces, chosen by the session.

#include "platform/KeyMonitor.h"
#include "platform/Permissions.h"
#include "platform/TextInserter.h"
#include "platform/linux/ClipboardTextInserter.h"
#include "platform/linux/DesktopPermissions.h"
#include "platform/linux/DisplaySession.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/UinputPasteShortcut.h"
#include "platform/linux/X11KeyMonitor.h"
#include "platform/linux/X11PasteShortcut.h"

namespace parlova::platform {

KeyMonitor* createKeyMonitor(QObject* parent) {
    if (currentDisplaySession() == DisplaySession::wayland)
        return new EvdevKeyMonitor(parent);
    return new X11KeyMonitor(parent);
}

TextInserter* createTextInserter(QObject* parent) {
    std::unique_ptr<PasteShortcut> shortcut;
    if (currentDisplaySession() == DisplaySession::wayland)
        shortcut = std::make_unique<UinputPasteShortcut>();
    else
        shortcut = std::make_unique<X11PasteShortcut>();
    return new ClipboardTextInserter(std::move(shortcut), parent);
}

Permissions* createPermissions(QObject* parent) {
    return new DesktopPermissions(parent);
}

} // namespace parlova::platform
