#pragma once

#include <QByteArray>
#include <QString>

namespace parlova::platform {

// Which window is in front on a Wayland desktop, for the few compositors that
// say so to their clients (sway, Hyprland). Elsewhere nobody can tell.
class WaylandFrontWindow {
public:
    // Whether the window in front is a terminal emulator; false when the
    // compositor does not say.
    static bool isTerminal();

    // The focused window's names (app_id, or WM_CLASS parts for XWayland
    // windows) in a sway `get_tree` answer.
    static QStringList namesInSwayTree(const QByteArray& json);
    // The same in a Hyprland `j/activewindow` answer.
    static QStringList namesInHyprlandWindow(const QByteArray& json);
};

} // namespace parlova::platform
