#include "platform/linux/X11Display.h"

#include <X11/Xlib.h>

namespace parlova::platform {

namespace {

int ignoreProtocolError(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

X11Display::X11Display()
    : m_display(XOpenDisplay(nullptr)) {
    if (m_display != nullptr)
        XSetErrorHandler(ignoreProtocolError);
}

X11Display::~X11Display() {
    if (m_display != nullptr)
        XCloseDisplay(m_display);
}

} // namespace parlova::platform
