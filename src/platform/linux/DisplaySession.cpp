#include "platform/linux/DisplaySession.h"

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

} // namespace parlova::platform
