#include "platform/linux/EvdevKeyMonitor.h"

#include "platform/linux/UinputPasteShortcut.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace parlova::platform {

using core::HoldMachine;

struct EvdevKeyMonitor::Device {
    QString name;
    int fd = -1;
    // Null for a stream that speaks input events without the evdev ioctls
    // (a pipe fed by a forwarding tool); such a stream is read as it comes.
    libevdev* evdev = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    QByteArray partial;

    ~Device() {
        // Qt allows this even from the notifier's own signal; it goes before
        // the descriptor it watches.
        notifier.reset();
        if (evdev != nullptr)
            libevdev_free(evdev);
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

bool isEventNode(const QString& name) {
    return name.startsWith(QLatin1String("event"));
}

bool isKeyboard(const libevdev* evdev) {
    if (!libevdev_has_event_type(evdev, EV_KEY))
        return false;
    if (QLatin1String(libevdev_get_name(evdev)) == QLatin1String(virtualKeyboardName))
        return false;
    return libevdev_has_event_code(evdev, EV_KEY, KEY_A) ||
           libevdev_has_event_code(evdev, EV_KEY, KEY_RIGHTCTRL);
}

// Keys that only change modifier flags; like the left-hand twins of the hold
// key they are never reported.
bool isModifier(unsigned code) {
    switch (code) {
    case KEY_LEFTCTRL:
    case KEY_RIGHTCTRL:
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
    case KEY_LEFTALT:
    case KEY_RIGHTALT:
    case KEY_LEFTMETA:
    case KEY_RIGHTMETA:
    case KEY_CAPSLOCK:
    case KEY_NUMLOCK:
    case KEY_FN:
        return true;
    default:
        return false;
    }
}

// Mouse, joystick and other buttons that keyboards with a touchpad or a
// pointing stick share their device with.
bool isButton(unsigned code) {
    return (code >= BTN_MISC && code < KEY_OK) || code >= BTN_DPAD_UP;
}

} // namespace

EvdevKeyMonitor::EvdevKeyMonitor(QObject* parent)
    : EvdevKeyMonitor(QStringLiteral("/dev/input"), parent) {}

EvdevKeyMonitor::EvdevKeyMonitor(QString folder, QObject* parent)
    : KeyMonitor(parent)
    , m_folder(std::move(folder)) {}

EvdevKeyMonitor::~EvdevKeyMonitor() {
    stop();
}

core::Done<KeyMonitor::Error> EvdevKeyMonitor::start() {
    stop();
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0) {
        const QByteArray folder = QFile::encodeName(m_folder);
        // IN_ATTRIB: udev grants access to a new node just after creating it.
        if (inotify_add_watch(m_watch, folder.constData(), IN_CREATE | IN_ATTRIB | IN_MOVED_TO) <
            0) {
            ::close(m_watch);
            m_watch = -1;
        } else {
            m_watchNotifier = std::make_unique<QSocketNotifier>(m_watch, QSocketNotifier::Read);
            connect(m_watchNotifier.get(), &QSocketNotifier::activated, this,
                    &EvdevKeyMonitor::readWatch);
        }
    }
    const QStringList names = QDir(m_folder).entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (isEventNode(name))
            open(name);
    }
    if (m_devices.empty())
        return Error::noKeyboard;
    return std::monostate{};
}

void EvdevKeyMonitor::stop() {
    ++m_generation;
    m_devices.clear();
    m_watchNotifier.reset();
    if (m_watch >= 0)
        ::close(m_watch);
    m_watch = -1;
}

void EvdevKeyMonitor::readWatch() {
    alignas(inotify_event) std::array<char, 4096> buffer;
    for (;;) {
        const ssize_t length = ::read(m_watch, buffer.data(), buffer.size());
        if (length <= 0)
            return;
        for (ssize_t offset = 0; offset < length;) {
            const auto* change = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + change->len);
            if (change->len == 0)
                continue;
            const QString name = QFile::decodeName(change->name);
            if (isEventNode(name))
                open(name);
        }
    }
}

void EvdevKeyMonitor::open(const QString& name) {
    if (std::any_of(m_devices.begin(), m_devices.end(),
                    [&](const auto& device) { return device->name == name; }))
        return;
    const QByteArray path = QFile::encodeName(m_folder + QLatin1Char('/') + name);
    auto device = std::make_unique<Device>();
    device->name = name;
    // Not readable yet (no access rule, or udev not done): IN_ATTRIB retries.
    device->fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0)
        return;
    if (libevdev_new_from_fd(device->fd, &device->evdev) == 0) {
        if (!isKeyboard(device->evdev))
            return;
        // Time stamps on the monotonic clock, as the hold machine expects.
        libevdev_set_clock_id(device->evdev, CLOCK_MONOTONIC);
    } else {
        device->evdev = nullptr;
    }
    device->notifier = std::make_unique<QSocketNotifier>(device->fd, QSocketNotifier::Read);
    Device* raw = device.get();
    connect(device->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { read(raw); });
    m_devices.push_back(std::move(device));
}

void EvdevKeyMonitor::read(Device* device) {
    const auto generation = m_generation;
    bool gone = false;
    if (device->evdev != nullptr) {
        input_event input;
        unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            const int status = libevdev_next_event(device->evdev, flags, &input);
            if (status == LIBEVDEV_READ_STATUS_SUCCESS || status == LIBEVDEV_READ_STATUS_SYNC) {
                // After a dropped batch libevdev replays the key state changes.
                flags = status == LIBEVDEV_READ_STATUS_SYNC ? LIBEVDEV_READ_FLAG_SYNC
                                                            : LIBEVDEV_READ_FLAG_NORMAL;
                deliver(input);
                continue;
            }
            if (status == -EAGAIN && flags == LIBEVDEV_READ_FLAG_SYNC) {
                flags = LIBEVDEV_READ_FLAG_NORMAL;
                continue;
            }
            gone = status != -EAGAIN;
            break;
        }
    } else {
        std::array<char, 64 * sizeof(input_event)> buffer;
        for (;;) {
            const ssize_t length = ::read(device->fd, buffer.data(), buffer.size());
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0) {
                gone = length == 0 || errno != EAGAIN;
                break;
            }
            device->partial.append(buffer.data(), length);
            const auto whole = device->partial.size() / qsizetype(sizeof(input_event));
            for (qsizetype index = 0; index < whole; ++index) {
                input_event input;
                std::memcpy(&input, device->partial.constData() + index * qsizetype(sizeof(input)),
                            sizeof(input));
                deliver(input);
            }
            device->partial.remove(0, whole * qsizetype(sizeof(input_event)));
        }
    }
    // Unplugged (ENODEV) or closed: forget it at once, so that a dead node
    // never keeps the loop busy.
    if (gone)
        drop(device);

    auto events = std::move(m_pending);
    m_pending.clear();
    for (const auto& event : events) {
        if (generation != m_generation)
            return;
        Q_EMIT this->event(event);
    }
}

void EvdevKeyMonitor::drop(Device* device) {
    m_devices.erase(std::remove_if(m_devices.begin(), m_devices.end(),
                                   [&](const auto& owned) { return owned.get() == device; }),
                    m_devices.end());
}

void EvdevKeyMonitor::deliver(const input_event& input) {
    // Value 0 is a release, 1 a press, 2 an automatic repeat.
    if (input.type != EV_KEY || input.value == 2 || isButton(input.code))
        return;
    const double at = static_cast<double>(input.input_event_sec) +
                      static_cast<double>(input.input_event_usec) / 1e6;
    if (input.code == core::evdevCode(m_holdKey)) {
        m_pending.push_back(input.value == 1 ? HoldMachine::Event::keyDown(at)
                                             : HoldMachine::Event::keyUp(at));
    } else if (input.value == 1 && !isModifier(input.code)) {
        m_pending.push_back(HoldMachine::Event::otherKeyPressed());
    }
}

} // namespace parlova::platform
