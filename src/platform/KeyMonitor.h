#pragma once

#include "core/HoldKey.h"
#include "core/HoldMachine.h"

#include <QObject>

namespace parlova::platform {

// Watches the whole keyboard and turns raw key events into hold-machine
// events: the hold key going down or up (with a time stamp in seconds on a
// monotonic clock) and fresh presses of any other key. Left-hand twins of the
// hold key and other modifier keys are never reported; auto-repeat is
// ignored. Makes no decision of its own.
class KeyMonitor : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~KeyMonitor() override = default;

    // Read afresh for every event, so a change applies to the next event.
    virtual void setHoldKey(core::HoldKey key) = 0;
    virtual core::HoldKey holdKey() const = 0;

    // Stops first when already started, so sources are never doubled.
    // Answers whether at least one source of key events is installed.
    virtual bool start() = 0;
    // Releases every device and connection.
    virtual void stop() = 0;

Q_SIGNALS:
    // Delivered on the thread that owns the monitor (the main thread).
    void event(core::HoldMachine::Event event);
};

// The monitor of the session the program runs in (X11 or Wayland), stopped,
// owned by `parent`.
KeyMonitor* createKeyMonitor(QObject* parent);

} // namespace parlova::platform
