#include "platform/linux/VirtualKeyboardPasteShortcut.h"

#include "platform/linux/WaylandConnection.h"

#include <QElapsedTimer>

#include <array>
#include <chrono>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

#include <virtual-keyboard-client.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace parlova::platform {

namespace {

// XKB key codes are evdev codes shifted by 8; the protocol takes evdev ones.
constexpr std::uint32_t evdevOffset = 8;
constexpr std::chrono::milliseconds settleTimeout{1000};

std::uint32_t millisecondsNow() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return static_cast<std::uint32_t>(clock.elapsed());
}

std::uint32_t modifierMask(xkb_keymap* keymap, const char* name) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : 1u << index;
}

} // namespace

void VirtualKeyboardPasteShortcut::KeymapDeleter::operator()(xkb_keymap* keymap) const {
    xkb_keymap_unref(keymap);
}

VirtualKeyboardPasteShortcut::VirtualKeyboardPasteShortcut(
    std::shared_ptr<WaylandConnection> connection, std::function<bool()> frontIsTerminal)
    : m_connection(std::move(connection))
    , m_frontIsTerminal(std::move(frontIsTerminal))
    , m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    // Made at once and kept: programs learn of a new keyboard only once the
    // compositor has told them, and keys sent before that are lost.
    if (m_context == nullptr || !offered(*m_connection))
        return;
    if (Keymap keymap = keymapFor(m_connection->keymap()); keymap && upload(keymap.get()).ok())
        m_connection->flush();
}

VirtualKeyboardPasteShortcut::~VirtualKeyboardPasteShortcut() {
    if (m_keyboard != nullptr) {
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
        m_connection->flush();
    }
    xkb_context_unref(m_context);
}

bool VirtualKeyboardPasteShortcut::offered(const WaylandConnection& connection) {
    return connection.usable() && connection.virtualKeyboards() != nullptr &&
           connection.seat() != nullptr;
}

std::optional<VirtualKeyboardPasteShortcut::KeyInGroup>
VirtualKeyboardPasteShortcut::findKey(xkb_keymap* keymap, std::uint32_t symbol,
                                      std::uint32_t preferredGroup) {
    std::optional<KeyInGroup> found;
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= last; ++code) {
        const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, code);
        for (xkb_layout_index_t group = 0; group < groups; ++group) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, code, group, 0, &symbols);
            if (count != 1 || symbols[0] != symbol)
                continue;
            if (!found || (group == preferredGroup && found->group != preferredGroup))
                found = KeyInGroup{code, group};
        }
    }
    return found;
}

VirtualKeyboardPasteShortcut::Keymap
VirtualKeyboardPasteShortcut::keymapFor(const QByteArray& text) const {
    if (!text.isEmpty()) {
        Keymap keymap(xkb_keymap_new_from_buffer(
            m_context, text.constData(), static_cast<std::size_t>(text.size()),
            XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (keymap)
            return keymap;
    }
    // A seat without a keyboard yet: the layout the compositor would give
    // one, from the same XKB_DEFAULT_* variables.
    return Keymap(xkb_keymap_new_from_names(m_context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

core::Done<PasteShortcut::Error> VirtualKeyboardPasteShortcut::upload(xkb_keymap* keymap) {
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (text == nullptr)
        return Error::noKey;
    const QByteArray keymapText(text);
    free(text);
    if (m_keyboard != nullptr && keymapText == m_uploaded)
        return std::monostate{};

    const int fd = memfd_create("parlova-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return Error::noKeyboard;
    // With its terminating NUL, as compositors send theirs.
    const auto size = static_cast<std::size_t>(keymapText.size()) + 1;
    const bool written = write(fd, keymapText.constData(), size) == static_cast<ssize_t>(size);
    if (written) {
        if (m_keyboard == nullptr)
            m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
                m_connection->virtualKeyboards(), m_connection->seat());
        // libwayland sends a duplicate of the descriptor.
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<std::uint32_t>(size));
        m_uploaded = keymapText;
    }
    close(fd);
    if (!written)
        return Error::noKeyboard;
    return std::monostate{};
}

QCoro::Task<core::Done<PasteShortcut::Error>> VirtualKeyboardPasteShortcut::send() {
    if (m_context == nullptr || !offered(*m_connection))
        co_return Error::noKeyboard;
    const std::uint32_t userGroup = m_connection->group();
    Keymap keymap = keymapFor(m_connection->keymap());
    std::optional<KeyInGroup> v =
        keymap ? findKey(keymap.get(), XKB_KEY_v, userGroup) : std::nullopt;
    if (!v) {
        // A layout with no Latin group at all (Russian alone, say): this
        // one paste goes out on a US keymap, and the next real key brings
        // the user's back.
        const xkb_rule_names us{nullptr, nullptr, "us", nullptr, nullptr};
        keymap.reset(xkb_keymap_new_from_names(m_context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS));
        v = keymap ? findKey(keymap.get(), XKB_KEY_v, 0) : std::nullopt;
    }
    if (!v)
        co_return Error::noKey;
    if (const core::Done<Error> uploaded = upload(keymap.get()); !uploaded)
        co_return uploaded;

    const std::optional<KeyInGroup> control = findKey(keymap.get(), XKB_KEY_Control_L, v->group);
    const std::optional<KeyInGroup> shift = findKey(keymap.get(), XKB_KEY_Shift_L, v->group);
    if (!control || !shift)
        co_return Error::noKey;
    const std::array<std::uint32_t, 3> codes{control->code, shift->code, v->code};
    const std::array<std::uint32_t, 3> masks{modifierMask(keymap.get(), XKB_MOD_NAME_CTRL),
                                             modifierMask(keymap.get(), XKB_MOD_NAME_SHIFT), 0};

    // Only the paste's own modifiers: whatever the user still holds lives
    // in the real keyboard's state, not in this one.
    std::uint32_t held = 0;
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, v->group);
    const bool terminal = m_frontIsTerminal && m_frontIsTerminal();
    for (const PasteStroke stroke : pasteStrokes(terminal)) {
        const auto index = static_cast<std::size_t>(stroke.key);
        zwp_virtual_keyboard_v1_key(m_keyboard, millisecondsNow(), codes[index] - evdevOffset,
                                    stroke.down ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                : WL_KEYBOARD_KEY_STATE_RELEASED);
        if (masks[index] != 0) {
            held = stroke.down ? held | masks[index] : held & ~masks[index];
            zwp_virtual_keyboard_v1_modifiers(m_keyboard, held, 0, 0, v->group);
        }
    }
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, userGroup);
    // Sent only once the compositor has taken the keys: a refusal closes
    // the connection instead.
    QCoro::Task<core::Done<WaylandConnection::Error>> settling =
        m_connection->settled(settleTimeout);
    if (!(co_await std::move(settling)).ok())
        co_return Error::notTyped;
    co_return core::Done<Error>(std::monostate{});
}

} // namespace parlova::platform
