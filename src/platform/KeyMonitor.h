#pragma once

#include "core/Result.h"
#include "core/domain/HoldKey.h"
#include "core/domain/HoldMachine.h"

#include <QObject>
#include <QString>

namespace parlova::platform {

// Watches the whole keyboard and turns raw key events into hold-machine
// events: the hold key going down or up (with a time stamp in seconds on a
// monotonic clock) and fresh presses of any other key. Left-hand twins of the
// hold key and other modifier keys are never reported; auto-repeat is
// ignored. Makes no decision of its own.
class KeyMonitor : public QObject {
    Q_OBJECT

public:
    // How the hold key reaches the program, for the settings window.
    struct Source {
        enum class Kind {
            // The display server shows every key to every client (X11).
            displayServer,
            // A shortcut bound through the desktop's portal.
            desktopShortcut,
            // The compositor runs `parlova --maintenir` and `--relacher`.
            compositorBinding,
            // The keyboards under /dev/input, read directly.
            keyboards,
            none,
        };
        Kind kind = Kind::displayServer;
        // For a desktop shortcut: the trigger in force, as the desktop
        // words it; empty until it says.
        QString trigger;
        // The desktop can show its own dialog to change the shortcut.
        bool configurable = false;
        friend bool operator==(const Source&, const Source&) = default;
    };

    // Why no source of key events could be installed.
    enum class Error {
        noDisplay,    // no display server, or one without XInput 2.2
        noKeyboard,   // no keyboard under /dev/input could be opened
        noSessionBus, // the desktop's portal is out of reach
    };
    static QString message(Error error) {
        switch (error) {
        case Error::noDisplay:
            return QStringLiteral("Le serveur d’affichage ne montre pas les touches.");
        case Error::noKeyboard:
            return QStringLiteral("Aucun clavier n’a pu être ouvert.");
        case Error::noSessionBus:
            return QStringLiteral("Le portail du bureau est injoignable.");
        }
        return {};
    }

    using QObject::QObject;
    ~KeyMonitor() override = default;

    virtual Source source() const { return {}; }
    // The hold key came through a compositor binding: that door works,
    // whatever this monitor sees itself.
    virtual void noteHandedOver() {}
    // Asks the desktop to show its dialog for the shortcut, where it can.
    virtual void configureShortcut() {}

    // Read afresh for every event, so a change applies to the next event.
    virtual void setHoldKey(core::HoldKey key) = 0;
    virtual core::HoldKey holdKey() const = 0;

    // Stops first when already started, so sources are never doubled.
    // Succeeds when at least one source of key events is installed.
    virtual core::Done<Error> start() = 0;
    // Releases every device and connection.
    virtual void stop() = 0;

Q_SIGNALS:
    // Delivered on the thread that owns the monitor (the main thread).
    void event(core::HoldMachine::Event event);
    void sourceChanged();
};

// The monitor of the session the program runs in (X11 or Wayland), stopped,
// owned by `parent`.
KeyMonitor* createKeyMonitor(QObject* parent);

} // namespace parlova::platform
