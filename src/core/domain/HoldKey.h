#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

namespace parlova::core {

// The key the user holds to dictate. Stored by its raw value; left-hand twins
// of the three right-hand keys never count.
enum class HoldKey : std::uint8_t {
    function,
    rightOption,
    rightControl,
    rightCommand,
    // Fn rarely reaches the system on PC keyboards, so right Control is the
    // default and the fallback for an unusable stored value.
    standard = rightControl,
};

// Every hold key, in the order the settings screen offers them.
inline constexpr std::array<HoldKey, 4> allHoldKeys{HoldKey::function, HoldKey::rightOption,
                                                    HoldKey::rightControl, HoldKey::rightCommand};

// The stored value: "fn", "option-droite", "controle-droite", "commande-droite".
QString rawValue(HoldKey key);

// Exact, case-sensitive match of a stored value; anything else is none.
std::optional<HoldKey> holdKeyFromRaw(QStringView raw);

// The Linux input event code of the key (evdev: KEY_FN, KEY_RIGHTALT,
// KEY_RIGHTCTRL, KEY_RIGHTMETA).
constexpr std::uint16_t evdevCode(HoldKey key) {
    switch (key) {
    case HoldKey::function:
        return 464;
    case HoldKey::rightOption:
        return 100;
    case HoldKey::rightControl:
        return 97;
    case HoldKey::rightCommand:
        return 126;
    }
    return 0;
}

// The X11 key code of the key: the event code plus 8. X servers cap key codes
// at 255, so Fn (472) is never reported there and simply never matches.
constexpr std::uint16_t x11KeyCode(HoldKey key) {
    return static_cast<std::uint16_t>(evdevCode(key) + 8);
}

// The localized name shown in the settings and in the menu.
QString displayName(HoldKey key);

} // namespace parlova::core
