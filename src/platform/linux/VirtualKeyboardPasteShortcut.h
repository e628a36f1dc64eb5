#pragma once

#include "platform/linux/PasteShortcut.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct xkb_context;
struct xkb_keymap;
struct zwp_virtual_keyboard_v1;

namespace parlova::platform {

class WaylandConnection;

// The paste of the wlroots desktops (sway, Hyprland, river, labwc, Wayfire):
// a virtual keyboard of the compositor's own protocol, which needs no
// permission. It carries the user's keymap, so the text typed afterwards on
// the real keyboard is read with the same layout, and it types the key that
// gives "v" there, in the layout group that has one.
class VirtualKeyboardPasteShortcut final : public PasteShortcut {
public:
    struct KeyInGroup {
        std::uint32_t code; // XKB key code, evdev code + 8
        std::uint32_t group;
        friend bool operator==(const KeyInGroup&, const KeyInGroup&) = default;
    };

    VirtualKeyboardPasteShortcut(std::shared_ptr<WaylandConnection> connection,
                                 std::function<bool()> frontIsTerminal = {});
    ~VirtualKeyboardPasteShortcut() override;

    // Whether the compositor offers virtual keyboards on this connection.
    static bool offered(const WaylandConnection& connection);

    QCoro::Task<core::Done<Error>> send() override;

    // The key that gives `symbol` at the first level of some group, in
    // `preferredGroup` when it has one.
    static std::optional<KeyInGroup> findKey(xkb_keymap* keymap, std::uint32_t symbol,
                                             std::uint32_t preferredGroup);

private:
    struct KeymapDeleter {
        void operator()(xkb_keymap* keymap) const;
    };
    using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

    Keymap keymapFor(const QByteArray& text) const;
    core::Done<Error> upload(xkb_keymap* keymap);

    std::shared_ptr<WaylandConnection> m_connection;
    const std::function<bool()> m_frontIsTerminal;
    xkb_context* m_context = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    // The keymap the compositor holds for our keyboard, as sent.
    QByteArray m_uploaded;
};

} // namespace parlova::platform
