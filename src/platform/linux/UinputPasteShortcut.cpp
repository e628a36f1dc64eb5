#include "platform/linux/UinputPasteShortcut.h"

#include <array>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

namespace parlova::platform {

namespace {

// In the order of PasteKey.
constexpr std::array<unsigned, 3> keys{KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_V};

} // namespace

UinputPasteShortcut::UinputPasteShortcut(std::function<bool()> frontIsTerminal)
    : m_frontIsTerminal(std::move(frontIsTerminal)) {
    create();
}

UinputPasteShortcut::~UinputPasteShortcut() {
    if (m_device != nullptr)
        libevdev_uinput_destroy(m_device);
}

core::Done<PasteShortcut::Error> UinputPasteShortcut::create() {
    libevdev* description = libevdev_new();
    libevdev_set_name(description, virtualKeyboardName);
    libevdev_enable_event_type(description, EV_KEY);
    for (const unsigned key : keys)
        libevdev_enable_event_code(description, EV_KEY, key, nullptr);
    const int status =
        libevdev_uinput_create_from_device(description, LIBEVDEV_UINPUT_OPEN_MANAGED, &m_device);
    libevdev_free(description);
    if (status != 0 || m_device == nullptr) {
        m_device = nullptr;
        return Error::noKeyboard;
    }
    return std::monostate{};
}

QCoro::Task<core::Done<PasteShortcut::Error>> UinputPasteShortcut::send() {
    co_return sendNow();
}

core::Done<PasteShortcut::Error> UinputPasteShortcut::sendNow() {
    // Access may have been granted since start-up; the first paste after
    // that may come too early for the compositor, the next ones will not.
    if (m_device == nullptr) {
        if (const core::Done<Error> created = create(); !created)
            return created;
    }
    const bool terminal = m_frontIsTerminal && m_frontIsTerminal();
    for (const PasteStroke stroke : pasteStrokes(terminal)) {
        const unsigned key = keys[static_cast<std::size_t>(stroke.key)];
        if (libevdev_uinput_write_event(m_device, EV_KEY, key, stroke.down ? 1 : 0) != 0 ||
            libevdev_uinput_write_event(m_device, EV_SYN, SYN_REPORT, 0) != 0)
            return Error::notTyped;
    }
    return std::monostate{};
}

} // namespace parlova::platform
