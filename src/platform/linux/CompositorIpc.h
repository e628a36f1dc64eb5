#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace parlova::platform {

// The IPC of the compositors that answer their clients' questions: sway
// (and i3-compatible ones) through SWAYSOCK, Hyprland through its instance
// socket. Each question waits at most a few milliseconds: a compositor
// answers at once, and a stuck one must not hold the program.
class CompositorIpc {
public:
    // sway's message types.
    static constexpr std::uint32_t swayGetTree = 4;
    static constexpr std::uint32_t swayGetConfig = 9;

    // None when no sway runs or it did not answer.
    static std::optional<QByteArray> askSway(std::uint32_t type);
    // A Hyprland request such as "j/activewindow"; none without Hyprland.
    static std::optional<QByteArray> askHyprland(const QByteArray& request);

    // Whether the compositor's configuration binds `parlova --maintenir`,
    // so that the hold key reaches us through it; false where nobody can
    // tell.
    static bool bindsHoldKey();
};

} // namespace parlova::platform
