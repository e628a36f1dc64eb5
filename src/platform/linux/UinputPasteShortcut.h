#pragma once

#include "platform/linux/PasteShortcut.h"

struct libevdev_uinput;

namespace parlova::platform {

// The name of our virtual keyboard, which the key monitor must not read.
inline constexpr char virtualKeyboardName[] = "Parlova clavier virtuel";

// The paste of a Wayland session: one virtual keyboard on /dev/uinput,
// created at once and kept, since the compositor needs a moment to adopt a
// new keyboard. Its keys are evdev codes, which the compositor turns into
// symbols with the user's own layout; the compositor does not tell which
// window is in front, so the paste is always Ctrl+V.
class UinputPasteShortcut final : public PasteShortcut {
public:
    UinputPasteShortcut();
    ~UinputPasteShortcut() override;

    bool send() override;

private:
    bool create();

    libevdev_uinput* m_device = nullptr;
};

} // namespace parlova::platform
