#pragma once

namespace parlova::platform {

// The kind of desktop session the program runs in. Decides which backends
// watch the keys and type the paste; the windows may still go through
// XWayland on a Wayland session.
enum class DisplaySession { x11, wayland };

// From the session's own environment (WAYLAND_DISPLAY, XDG_SESSION_TYPE).
DisplaySession currentDisplaySession();

} // namespace parlova::platform
