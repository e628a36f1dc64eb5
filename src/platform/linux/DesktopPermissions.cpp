#include "platform/linux/DesktopPermissions.h"

#include "platform/linux/WaylandKeyMonitor.h"
#include "platform/linux/WaylandPaste.h"
#include "platform/linux/X11Display.h"

#include <QAudioDevice>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMediaDevices>

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace parlova::platform {

namespace {

const QString inputFolder = QStringLiteral("/dev/input");
const QByteArray uinputPath = QByteArrayLiteral("/dev/uinput");

std::optional<bool> classify(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    libevdev* evdev = nullptr;
    bool keyboard = false;
    if (libevdev_new_from_fd(fd, &evdev) == 0) {
        keyboard = libevdev_has_event_code(evdev, EV_KEY, KEY_A) ||
                   libevdev_has_event_code(evdev, EV_KEY, KEY_RIGHTCTRL);
        libevdev_free(evdev);
    }
    ::close(fd);
    return keyboard;
}

} // namespace

DesktopPermissions::DesktopPermissions(DisplaySession session, HelpPage help, UrlOpener open,
                                       std::shared_ptr<WaylandPaste> paste, QObject* parent)
    : Permissions(parent)
    , m_session(session)
    , m_help(std::move(help))
    , m_open(open ? std::move(open) : UrlOpener(&QDesktopServices::openUrl))
    , m_paste(std::move(paste))
    , m_devices(new QMediaDevices(this)) {}

DesktopPermissions::~DesktopPermissions() = default;

core::Readiness::Microphone DesktopPermissions::microphone() {
    // Linux has no consent dialog for the microphone: either the sound
    // server offers an input or nothing can be done from here.
    return QMediaDevices::defaultAudioInput().isNull() ? core::Readiness::Microphone::denied
                                                       : core::Readiness::Microphone::granted;
}

bool DesktopPermissions::accessibility() {
    if (m_session == DisplaySession::x11)
        return x11Extensions();
    return (WaylandKeyMonitor::anySourceWorks() || readableKeyboard()) && pasteReady();
}

bool DesktopPermissions::pasteReady() const {
    return m_paste ? m_paste->ready() : ::access(uinputPath.constData(), W_OK) == 0;
}

bool DesktopPermissions::x11Extensions() {
    if (m_x11Extensions)
        return *m_x11Extensions;
    const X11Display display;
    if (!display)
        return false; // not cached: the display may come up later
    Display* d = display.get();
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 2;
    bool present = XQueryExtension(d, "XInputExtension", &opcode, &event, &error) &&
                   XIQueryVersion(d, &major, &minor) == Success &&
                   (major > 2 || (major == 2 && minor >= 2));
    present = present && XTestQueryExtension(d, &event, &error, &major, &minor);
    m_x11Extensions = present;
    return present;
}

bool DesktopPermissions::readableKeyboard() {
    bool found = false;
    const QStringList names = QDir(inputFolder).entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!name.startsWith(QLatin1String("event")))
            continue;
        const QByteArray path = QFile::encodeName(inputFolder + QLatin1Char('/') + name);
        struct stat node {};
        if (::stat(path.constData(), &node) != 0)
            continue;
        // Opening a node costs more than asking for access, so each device is
        // opened once to learn what it is; later polls only ask for access.
        auto known = m_keyboards.find(node.st_rdev);
        if (known == m_keyboards.end()) {
            const auto keyboard = classify(path);
            if (!keyboard)
                continue;
            known = m_keyboards.emplace(node.st_rdev, *keyboard).first;
        }
        found = found || (known->second && ::access(path.constData(), R_OK) == 0);
    }
    return found;
}

void DesktopPermissions::requestMicrophone() {
    if (microphone() == core::Readiness::Microphone::granted)
        return;
    if (const QUrl page = m_help.url(HelpPage::microphoneSection); !page.isEmpty())
        m_open(page);
}

void DesktopPermissions::requestAccessibility() {
    if (m_session == DisplaySession::wayland && m_paste && m_paste->requestAccess())
        return;
    if (const QUrl page = m_help.url(HelpPage::keyboardSection); !page.isEmpty())
        m_open(page);
}

} // namespace parlova::platform
