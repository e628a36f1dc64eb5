// The Linux backends of the platform interfaces, chosen by the session.

#include "platform/KeyMonitor.h"
#include "platform/Permissions.h"
#include "platform/Recorder.h"
#include "platform/TextInserter.h"
#include "platform/linux/ClipboardTextInserter.h"
#include "platform/linux/DesktopPermissions.h"
#include "platform/linux/DisplaySession.h"
#include "platform/linux/HelpPage.h"
#include "platform/linux/QtAudioRecorder.h"
#include "platform/linux/WaylandKeyMonitor.h"
#include "platform/linux/WaylandPaste.h"
#include "platform/linux/X11KeyMonitor.h"
#include "platform/linux/X11PasteShortcut.h"

namespace parlova::platform {

KeyMonitor* createKeyMonitor(QObject* parent) {
    if (currentDisplaySession() == DisplaySession::wayland)
        return new WaylandKeyMonitor(QDBusConnection::sessionBus(), parent);
    return new X11KeyMonitor(parent);
}

TextInserter* createTextInserter(QObject* parent) {
    if (currentDisplaySession() == DisplaySession::wayland) {
        std::shared_ptr<WaylandPaste> paste = WaylandPaste::session();
        return new ClipboardTextInserter(paste->clipboard(), paste, parent);
    }
    return new ClipboardTextInserter(std::make_unique<X11PasteShortcut>(), parent);
}

Recorder* createRecorder(QObject* parent) {
    return new QtAudioRecorder(parent);
}

Permissions* createPermissions(QObject* parent) {
    const DisplaySession session = currentDisplaySession();
    std::shared_ptr<WaylandPaste> paste;
    if (session == DisplaySession::wayland)
        paste = WaylandPaste::session();
    return new DesktopPermissions(session, HelpPage(), {}, std::move(paste), parent);
}

} // namespace parlova::platform
