#include "platform/linux/WaylandConnection.h"

#include <QPointer>
#include <QSocketNotifier>

#include <QCoro/QCoroSignal>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include <data-control-client.h>
#include <virtual-keyboard-client.h>
#include <wayland-client.h>

namespace parlova::platform {

namespace {

// The versions whose events the listeners below handle, and no later.
constexpr uint32_t seatVersion = 5;
constexpr uint32_t dataControlVersion = 1;

void ignoreEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void ignoreLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void ignoreKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void ignoreRepeat(void*, wl_keyboard*, int32_t, int32_t) {}

} // namespace

std::shared_ptr<WaylandConnection> WaylandConnection::open(const QString& display) {
    QByteArray name = display.toUtf8();
    if (name.isEmpty())
        name = qgetenv("WAYLAND_DISPLAY");
    // libwayland would otherwise try "wayland-0", which on an X11 session
    // may be somebody else's compositor.
    if (name.isEmpty())
        return nullptr;
    wl_display* connection = wl_display_connect(name.constData());
    if (connection == nullptr)
        return nullptr;
    std::shared_ptr<WaylandConnection> self(new WaylandConnection(connection));
    // Globals, then the seat's capabilities, then the keyboard's keymap.
    for (int round = 0; round < 3; ++round) {
        if (!self->roundtrip().ok())
            return nullptr;
    }
    return self;
}

WaylandConnection::WaylandConnection(wl_display* display)
    : m_display(display) {
    static const wl_registry_listener registryListener{&onGlobal, &onGlobalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    m_notifier = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WaylandConnection::readEvents);
}

WaylandConnection::~WaylandConnection() {
    if (m_keyboard != nullptr)
        wl_keyboard_destroy(m_keyboard);
    if (m_seat != nullptr)
        wl_seat_destroy(m_seat);
    if (m_dataControl != nullptr)
        zwlr_data_control_manager_v1_destroy(m_dataControl);
    if (m_virtualKeyboards != nullptr)
        zwp_virtual_keyboard_manager_v1_destroy(m_virtualKeyboards);
    for (wl_callback* callback : m_callbacks)
        wl_callback_destroy(callback);
    wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

bool WaylandConnection::usable() const {
    return !m_lost && wl_display_get_error(m_display) == 0;
}

QString WaylandConnection::message(Error error) {
    switch (error) {
    case Error::lost:
        return QStringLiteral("La connexion au compositeur est perdue.");
    case Error::timedOut:
        return QStringLiteral("Le compositeur n’a pas répondu à temps.");
    }
    return {};
}

core::Done<WaylandConnection::Error> WaylandConnection::roundtrip() {
    if (wl_display_roundtrip(m_display) < 0) {
        lose();
        return Error::lost;
    }
    return std::monostate{};
}

core::Done<WaylandConnection::Error> WaylandConnection::flush() {
    if (!usable())
        return Error::lost;
    // EAGAIN only means the socket is full; the rest goes with the next
    // flush, which reading events does.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        lose();
        return Error::lost;
    }
    return std::monostate{};
}

void WaylandConnection::readEvents() {
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0)
            return lose();
    }
    wl_display_flush(m_display);
    if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
        return lose();
    wl_display_flush(m_display);
}

void WaylandConnection::lose() {
    if (m_lost)
        return;
    m_lost = true;
    m_notifier->setEnabled(false);
    Q_EMIT callbackDone(0);
}

QCoro::Task<core::Done<WaylandConnection::Error>>
WaylandConnection::settled(std::chrono::milliseconds timeout) {
    if (!usable())
        co_return Error::lost;
    static const wl_callback_listener listener{[](void* data, wl_callback* callback, uint32_t) {
        auto* self = static_cast<WaylandConnection*>(data);
        self->m_callbacks.erase(callback);
        const auto id = reinterpret_cast<quintptr>(callback);
        wl_callback_destroy(callback);
        Q_EMIT self->callbackDone(id);
    }};
    wl_callback* callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &listener, this);
    m_callbacks.insert(callback);
    const auto id = reinterpret_cast<quintptr>(callback);
    if (const core::Done<Error> flushed = flush(); !flushed)
        co_return flushed;

    QPointer<WaylandConnection> self(this);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            co_return Error::timedOut;
        const std::optional<quintptr> done =
            co_await qCoro(this, &WaylandConnection::callbackDone, left);
        if (!self || m_lost)
            co_return Error::lost;
        if (!done)
            co_return Error::timedOut;
        if (*done == id)
            co_return core::Done<Error>(std::monostate{});
    }
}

void WaylandConnection::onGlobal(void* data, wl_registry* registry, uint32_t name,
                                 const char* interface, uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto bind = [&](const wl_interface* wanted, uint32_t highest) {
        return wl_registry_bind(registry, name, wanted, std::min(version, highest));
    };
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->m_seat == nullptr) {
        static const wl_seat_listener seatListener{&onCapabilities, &onSeatName};
        self->m_seat = static_cast<wl_seat*>(bind(&wl_seat_interface, seatVersion));
        wl_seat_add_listener(self->m_seat, &seatListener, self);
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        self->m_virtualKeyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
        self->m_dataControl = static_cast<zwlr_data_control_manager_v1*>(
            bind(&zwlr_data_control_manager_v1_interface, dataControlVersion));
    }
}

void WaylandConnection::onGlobalRemove(void*, wl_registry*, uint32_t) {}

void WaylandConnection::onCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    auto* self = static_cast<WaylandConnection*>(data);
    const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (keyboard && self->m_keyboard == nullptr) {
        static const wl_keyboard_listener keyboardListener{&onKeymap,  &ignoreEnter, &ignoreLeave,
                                                           &ignoreKey, &onModifiers, &ignoreRepeat};
        self->m_keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self->m_keyboard, &keyboardListener, self);
    }
}

void WaylandConnection::onSeatName(void*, wl_seat*, const char*) {}

void WaylandConnection::onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd,
                                 uint32_t size) {
    auto* self = static_cast<WaylandConnection*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            const char* text = static_cast<const char*>(mapped);
            self->m_keymap = QByteArray(text, static_cast<qsizetype>(strnlen(text, size)));
            munmap(mapped, size);
        }
    }
    close(fd);
}

void WaylandConnection::onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t,
                                    uint32_t, uint32_t group) {
    static_cast<WaylandConnection*>(data)->m_group = group;
}

} // namespace parlova::platform
