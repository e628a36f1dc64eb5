#include "platform/linux/X11Display.h"

#include <X11/Xlib.h>

namespace parlova::platform {

namespace {

int ignoreProtocolError(Display*, XErrorEvent*) {
    return 0;
}

// Xvfb now and then closes a new connection in the middle of its set-up
// (about one in ten when connections follow each other quickly); the next
// attempt gets through. No display at all fails every attempt at once.
Display* connect() {
    constexpr int attempts = 4;
    Display* display = nullptr;
    for (int attempt = 0; attempt < attempts && display == nullptr; ++attempt)
        display = XOpenDisplay(nullptr);
    return display;
}

} // namespace

X11Display::X11Display()
    : m_display(connect()) {
    if (m_display != nullptr)
        XSetErrorHandler(ignoreProtocolError);
}

X11Display::~X11Display() {
    if (m_display != nullptr)
        XCloseDisplay(m_display);
}

} // namespace parlova::platform
