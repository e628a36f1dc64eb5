#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

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

    // Why a question got no answer.
    enum class Error {
        absent,   // that compositor does not run here
        noAnswer, // it did not answer, or not in its own terms
    };
    static QString message(Error error);

    // The answer of sway to a message of the given type.
    static core::Result<QByteArray, Error> askSway(std::uint32_t type);
    // Hyprland's answer to a request such as "j/activewindow".
    static core::Result<QByteArray, Error> askHyprland(const QByteArray& request);

    // Whether the compositor's configuration binds `parlova --maintenir`,
    // so that the hold key reaches us through it; false where nobody can
    // tell.
    static bool bindsHoldKey();
};

} // namespace parlova::platform
