#include "platform/linux/DisplaySession.h"

#include "platform/WindowPlatform.h"

#include <QString>
#include <QtGlobal>

namespace parlova::platform {

DisplaySession currentDisplaySession() {
    // XWayland sets DISPLAY too, so the Wayland variables come first.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
        return DisplaySession::wayland;
    return DisplaySession::x11;
}

void chooseWindowPlatform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    if (currentDisplaySession() == DisplaySession::wayland &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace parlova::platform
