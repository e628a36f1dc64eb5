#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <memory>
#include <set>

struct wl_callback;
struct wl_display;
struct wl_keyboard;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
class QSocketNotifier;

namespace parlova::platform {

// Our own client connection to the session's Wayland compositor, for what Qt
// does not do for us (its windows run on XWayland): the seat, the keymap of
// its keyboard, and the virtual-keyboard and data-control managers where the
// compositor offers them. Events are read on the Qt event loop.
//
// A compositor that hits a protocol error closes the connection; from then on
// usable() is false and every object made on it is dead, so the pieces built
// on it check usable() before each use.
class WaylandConnection final : public QObject {
    Q_OBJECT

public:
    // Null when no compositor answers on `display` (WAYLAND_DISPLAY when
    // empty). The globals and the keymap are known on return: the compositor
    // is local and answers these in well under a millisecond.
    static std::shared_ptr<WaylandConnection> open(const QString& display = QString());

    // Why requests did not reach the compositor, or were not seen through.
    enum class Error {
        lost,     // the connection is gone
        timedOut, // the compositor did not answer in time
    };
    static QString message(Error error);

    ~WaylandConnection() override;

    bool usable() const;
    wl_display* display() const { return m_display; }
    wl_seat* seat() const { return m_seat; }
    zwp_virtual_keyboard_manager_v1* virtualKeyboards() const { return m_virtualKeyboards; }
    zwlr_data_control_manager_v1* dataControl() const { return m_dataControl; }

    // The XKB text of the keymap the compositor last sent for the seat's
    // keyboard (the user's layout); empty when the seat has no keyboard.
    const QByteArray& keymap() const { return m_keymap; }
    // The layout group in use on the seat's keyboard.
    quint32 group() const { return m_group; }

    // Sends whatever requests are queued; lost once the connection is.
    core::Done<Error> flush();
    // Completes once the compositor has handled every request sent before
    // it; fails when the connection is lost or `timeout` passes.
    QCoro::Task<core::Done<Error>> settled(std::chrono::milliseconds timeout);

Q_SIGNALS:
    // A callback of settled() came back; 0 when the connection is lost.
    void callbackDone(quintptr id);

private:
    WaylandConnection(wl_display* display);
    core::Done<Error> roundtrip();
    void readEvents();
    void lose();

    static void onGlobal(void* self, wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t version);
    static void onGlobalRemove(void* self, wl_registry* registry, uint32_t name);
    static void onCapabilities(void* self, wl_seat* seat, uint32_t capabilities);
    static void onSeatName(void* self, wl_seat* seat, const char* name);
    static void onKeymap(void* self, wl_keyboard* keyboard, uint32_t format, int32_t fd,
                         uint32_t size);
    static void onModifiers(void* self, wl_keyboard* keyboard, uint32_t serial, uint32_t depressed,
                            uint32_t latched, uint32_t locked, uint32_t group);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    wl_keyboard* m_keyboard = nullptr;
    zwp_virtual_keyboard_manager_v1* m_virtualKeyboards = nullptr;
    zwlr_data_control_manager_v1* m_dataControl = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_keymap;
    quint32 m_group = 0;
    // settled() callbacks still awaited, destroyed with the connection.
    std::set<wl_callback*> m_callbacks;
    bool m_lost = false;
};

} // namespace parlova::platform
