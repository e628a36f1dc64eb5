#include "platform/linux/X11KeyMonitor.h"

#include "platform/linux/X11Display.h"

#include <QSocketNotifier>

#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>

namespace parlova::platform {

using core::HoldMachine;

X11KeyMonitor::X11KeyMonitor(QObject* parent)
    : KeyMonitor(parent) {}

X11KeyMonitor::~X11KeyMonitor() {
    stop();
}

core::Done<KeyMonitor::Error> X11KeyMonitor::start() {
    stop();
    auto display = std::make_unique<X11Display>();
    if (!*display)
        return Error::noDisplay;
    Display* d = display->get();

    int event = 0;
    int error = 0;
    if (!XQueryExtension(d, "XInputExtension", &m_opcode, &event, &error))
        return Error::noDisplay;
    // Raw events of master devices need XInput 2.2.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(d, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2))
        return Error::noDisplay;

    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XISetMask(mask, XI_RawKeyRelease);
    XIEventMask eventMask{XIAllMasterDevices, static_cast<int>(sizeof(mask)), mask};
    XISelectEvents(d, DefaultRootWindow(d), &eventMask, 1);
    XSync(d, False);

    m_display = std::move(display);
    loadModifierKeys();
    m_down.reset();
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(d), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11KeyMonitor::readEvents);
    // Xlib may already hold events read from the socket during the set-up
    // calls; the notifier would not see those.
    QMetaObject::invokeMethod(this, &X11KeyMonitor::readEvents, Qt::QueuedConnection);
    return std::monostate{};
}

void X11KeyMonitor::stop() {
    ++m_generation;
    m_notifier.reset();
    m_display.reset();
}

void X11KeyMonitor::loadModifierKeys() {
    Display* d = m_display->get();
    m_modifierKeys.reset();
    if (XModifierKeymap* map = XGetModifierMapping(d)) {
        for (int index = 0; index < 8 * map->max_keypermod; ++index)
            m_modifierKeys.set(map->modifiermap[index]);
        XFreeModifiermap(map);
    }
    // Keys that are modifiers by their symbol but bound to no modifier bit
    // (a second AltGr, Compose-less level switches) count too.
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(d, &minCode, &maxCode);
    for (int code = minCode; code <= maxCode && code < 256; ++code) {
        const KeySym symbol = XkbKeycodeToKeysym(d, static_cast<KeyCode>(code), 0, 0);
        if (symbol != NoSymbol && IsModifierKey(symbol))
            m_modifierKeys.set(static_cast<std::size_t>(code));
    }
    m_modifierKeys.reset(0);
}

double X11KeyMonitor::seconds(unsigned long serverTime) {
    const auto time = static_cast<std::uint32_t>(serverTime);
    if (time < m_lastTime && m_lastTime - time > 0x80000000UL)
        m_timeEpoch += 0x100000000ULL;
    m_lastTime = time;
    return static_cast<double>(m_timeEpoch + time) / 1000.0;
}

void X11KeyMonitor::readEvents() {
    if (!m_display)
        return;
    Display* d = m_display->get();
    std::vector<HoldMachine::Event> events;
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_opcode ||
            !XGetEventData(d, cookie))
            continue;
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        const int code = raw->detail;
        const bool press = cookie->evtype == XI_RawKeyPress;
        const bool release = cookie->evtype == XI_RawKeyRelease;
        const double at = seconds(raw->time);
        XFreeEventData(d, cookie);
        if (code <= 0 || code > 255 || (!press && !release))
            continue;
        const auto bit = static_cast<std::size_t>(code);

        const bool repeat = press && m_down.test(bit);
        m_down.set(bit, press);
        if (repeat)
            continue;
        if (code == core::x11KeyCode(m_holdKey)) {
            events.push_back(press ? HoldMachine::Event::keyDown(at)
                                   : HoldMachine::Event::keyUp(at));
        } else if (press && !m_modifierKeys.test(bit)) {
            events.push_back(HoldMachine::Event::otherKeyPressed());
        }
    }
    // A receiver may stop the monitor; what was read before then is dropped.
    const auto generation = m_generation;
    for (const auto& event : events) {
        if (generation != m_generation)
            return;
        Q_EMIT this->event(event);
    }
}

} // namespace parlova::platform
