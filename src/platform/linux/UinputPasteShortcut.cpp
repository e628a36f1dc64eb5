#include "platform/linux/UinputPasteShortcut.h"

#include <array>
#include <utility>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

namespace parlova::platform {

namespace {

constexpr std::array<unsigned, 2> keys{KEY_LEFTCTRL, KEY_V};

} // namespace

UinputPasteShortcut::UinputPasteShortcut() {
    create();
}

UinputPasteShortcut::~UinputPasteShortcut() {
    if (m_device != nullptr)
        libevdev_uinput_destroy(m_device);
}

bool UinputPasteShortcut::create() {
    libevdev* description = libevdev_new();
    libevdev_set_name(description, virtualKeyboardName);
    libevdev_enable_event_type(description, EV_KEY);
    for (const unsigned key : keys)
        libevdev_enable_event_code(description, EV_KEY, key, nullptr);
    const int status =
        libevdev_uinput_create_from_device(description, LIBEVDEV_UINPUT_OPEN_MANAGED, &m_device);
    libevdev_free(description);
    if (status != 0)
        m_device = nullptr;
    return m_device != nullptr;
}

bool UinputPasteShortcut::send() {
    // Access may have been granted since start-up; the first paste after
    // that may come too early for the compositor, the next ones will not.
    if (m_device == nullptr && !create())
        return false;
    const std::array<std::pair<unsigned, int>, 4> strokes{
        {{KEY_LEFTCTRL, 1}, {KEY_V, 1}, {KEY_V, 0}, {KEY_LEFTCTRL, 0}}};
    for (const auto& [key, value] : strokes) {
        if (libevdev_uinput_write_event(m_device, EV_KEY, key, value) != 0 ||
            libevdev_uinput_write_event(m_device, EV_SYN, SYN_REPORT, 0) != 0)
            return false;
    }
    return true;
}

} // namespace parlova::platform
