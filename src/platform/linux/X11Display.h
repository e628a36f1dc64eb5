#pragma once

struct _XDisplay;

namespace parlova::platform {

// A private Xlib connection to the display of the session. Each backend keeps
// its own, so that reading raw key events never competes with Qt's own
// connection. Xlib's default error handler would end the program on any
// protocol error (a window closed under our feet, say); opening a connection
// here replaces it with one that only drops the failed request.
class X11Display {
public:
    X11Display();
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    // Null when no X display can be reached.
    _XDisplay* get() const { return m_display; }
    explicit operator bool() const { return m_display != nullptr; }

private:
    _XDisplay* m_display = nullptr;
};

} // namespace parlova::platform
