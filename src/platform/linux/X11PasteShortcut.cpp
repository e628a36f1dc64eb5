#include "platform/linux/X11PasteShortcut.h"

#include "platform/linux/TerminalEmulators.h"
#include "platform/linux/X11Display.h"

#include <QString>
#include <QTimer>

#include <array>
#include <optional>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace parlova::platform {

namespace {

// The target reads the key's symbols when the event reaches it, possibly
// after the paste has returned; the borrowed key keeps "v" that long.
constexpr int borrowedKeyLifetimeMs = 400;

struct KeyInGroup {
    KeyCode code;
    int group;
};

std::optional<KeyInGroup> findKey(Display* d, KeySym wanted, int preferredGroup) {
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(d, &minCode, &maxCode);
    std::optional<KeyInGroup> found;
    XkbDescPtr keyboard = XkbGetMap(d, XkbKeySymsMask, XkbUseCoreKbd);
    if (keyboard == nullptr)
        return found;
    for (int code = minCode; code <= maxCode; ++code) {
        const int groups = XkbKeyNumGroups(keyboard, code);
        for (int group = 0; group < groups; ++group) {
            if (XkbKeySymEntry(keyboard, code, 0, group) != wanted)
                continue;
            if (!found || group == preferredGroup)
                found = KeyInGroup{static_cast<KeyCode>(code), group};
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return found;
}

int spareKeyCode(Display* d) {
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(d, &minCode, &maxCode);
    int perCode = 0;
    KeySym* symbols =
        XGetKeyboardMapping(d, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    if (symbols == nullptr)
        return 0;
    int spare = 0;
    // From the top: low codes are the keys of real keyboards.
    for (int code = maxCode; code >= minCode && spare == 0; --code) {
        bool empty = true;
        for (int column = 0; column < perCode; ++column)
            empty = empty && symbols[(code - minCode) * perCode + column] == NoSymbol;
        if (empty)
            spare = code;
    }
    XFree(symbols);
    return spare;
}

QString classText(const char* text) {
    return text == nullptr ? QString() : QString::fromLocal8Bit(text);
}

} // namespace

X11PasteShortcut::X11PasteShortcut(QObject* parent)
    : QObject(parent)
    , m_display(std::make_unique<X11Display>()) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    m_xtest = *m_display && XTestQueryExtension(m_display->get(), &event, &error, &major, &minor);
}

X11PasteShortcut::~X11PasteShortcut() {
    restoreBorrowedKey();
}

bool X11PasteShortcut::focusIsTerminal() const {
    Display* d = m_display->get();
    const Window root = DefaultRootWindow(d);
    std::array<Window, 2> candidates{None, None};
    int revert = 0;
    XGetInputFocus(d, &candidates[0], &revert);
    // Under a reparenting window manager the focus may sit on a frame that
    // carries no class; the manager names the client window here.
    const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", True);
    if (active != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, root, active, 0, 1, False, XA_WINDOW, &type, &format, &count,
                               &after, &data) == Success &&
            data != nullptr) {
            if (count == 1 && format == 32)
                candidates[1] = *reinterpret_cast<Window*>(data);
            XFree(data);
        }
    }
    for (Window window : candidates) {
        while (window != None && window != PointerRoot && window != root) {
            XClassHint hint{nullptr, nullptr};
            if (XGetClassHint(d, window, &hint) != 0) {
                const bool terminal = TerminalEmulators::isTerminal(classText(hint.res_name),
                                                                    classText(hint.res_class));
                XFree(hint.res_name);
                XFree(hint.res_class);
                return terminal;
            }
            Window rootReturn = None;
            Window parent = None;
            Window* children = nullptr;
            unsigned int childCount = 0;
            if (XQueryTree(d, window, &rootReturn, &parent, &children, &childCount) == 0)
                break;
            if (children != nullptr)
                XFree(children);
            window = parent;
        }
    }
    return false;
}

void X11PasteShortcut::releaseHeldModifiers() {
    Display* d = m_display->get();
    std::array<char, 32> keys{};
    XQueryKeymap(d, keys.data());
    XModifierKeymap* map = XGetModifierMapping(d);
    if (map == nullptr)
        return;
    // A hold key still down (the take ended at its maximum length) would
    // turn Ctrl+V into Ctrl+AltGr+V or the like: released here, in the
    // server's state, before anything is typed.
    for (int index = 0; index < 8 * map->max_keypermod; ++index) {
        const KeyCode code = map->modifiermap[index];
        if (code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0)
            XTestFakeKeyEvent(d, code, False, CurrentTime);
    }
    XFreeModifiermap(map);
}

QCoro::Task<core::Done<PasteShortcut::Error>> X11PasteShortcut::send() {
    co_return sendNow();
}

core::Done<PasteShortcut::Error> X11PasteShortcut::sendNow() {
    if (!m_xtest)
        return Error::noKeyboard;
    Display* d = m_display->get();
    restoreBorrowedKey();

    const KeyCode control = XKeysymToKeycode(d, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
    if (control == 0)
        return Error::noKey;
    const bool terminal = focusIsTerminal();

    XkbStateRec state{};
    XkbGetState(d, XkbUseCoreKbd, &state);
    const int currentGroup = state.group;
    std::optional<KeyInGroup> key = findKey(d, XK_v, currentGroup);
    if (!key) {
        const int spare = spareKeyCode(d);
        if (spare == 0)
            return Error::noKey;
        std::array<KeySym, 2> symbols{XK_v, XK_V};
        XChangeKeyboardMapping(d, spare, 2, symbols.data(), 1);
        XSync(d, False);
        m_borrowedKey = spare;
        key = KeyInGroup{static_cast<KeyCode>(spare), currentGroup};
    }

    releaseHeldModifiers();
    // The group goes into each event's state when the server makes it, so
    // the user's group may come back as soon as the keys are out.
    const bool switchGroup = key->group != currentGroup && m_borrowedKey == 0;
    if (switchGroup)
        XkbLockGroup(d, XkbUseCoreKbd, static_cast<unsigned>(key->group));
    XTestFakeKeyEvent(d, control, True, CurrentTime);
    if (terminal && shift != 0)
        XTestFakeKeyEvent(d, shift, True, CurrentTime);
    XTestFakeKeyEvent(d, key->code, True, CurrentTime);
    XTestFakeKeyEvent(d, key->code, False, CurrentTime);
    if (terminal && shift != 0)
        XTestFakeKeyEvent(d, shift, False, CurrentTime);
    XTestFakeKeyEvent(d, control, False, CurrentTime);
    if (switchGroup)
        XkbLockGroup(d, XkbUseCoreKbd, static_cast<unsigned>(currentGroup));
    XSync(d, False);

    if (m_borrowedKey != 0)
        QTimer::singleShot(borrowedKeyLifetimeMs, this, [this] { restoreBorrowedKey(); });
    return std::monostate{};
}

void X11PasteShortcut::restoreBorrowedKey() {
    if (m_borrowedKey == 0 || !*m_display)
        return;
    std::array<KeySym, 2> symbols{NoSymbol, NoSymbol};
    XChangeKeyboardMapping(m_display->get(), m_borrowedKey, 2, symbols.data(), 1);
    XSync(m_display->get(), False);
    m_borrowedKey = 0;
}

} // namespace parlova::platform
