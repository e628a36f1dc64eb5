#pragma once

#include "platform/linux/PasteShortcut.h"

#include <functional>

struct libevdev_uinput;

namespace parlova::platform {

// The name of our virtual keyboard, which the key monitor must not read.
inline constexpr char virtualKeyboardName[] = "Parlova clavier virtuel";

// The paste of a Wayland session: one virtual keyboard on /dev/uinput,
// created at once and kept, since the compositor needs a moment to adopt a
// new keyboard. Its keys are evdev codes, which the compositor turns into
// symbols with the user's own layout. Terminals get Shift too where the
// compositor tells which window is in front.
class UinputPasteShortcut final : public PasteShortcut {
public:
    explicit UinputPasteShortcut(std::function<bool()> frontIsTerminal = {});
    ~UinputPasteShortcut() override;

    QCoro::Task<core::Done<Error>> send() override;

private:
    core::Done<Error> create();
    core::Done<Error> sendNow();

    const std::function<bool()> m_frontIsTerminal;
    libevdev_uinput* m_device = nullptr;
};

} // namespace parlova::platform
