#pragma once

#include "platform/KeyMonitor.h"

#include <bitset>
#include <cstdint>
#include <memory>

class QSocketNotifier;

namespace parlova::platform {

class X11Display;

// The key monitor of an X11 session: XInput2 raw key events of every master
// keyboard, selected on the root window. Raw events reach us whatever window
// has the focus and need no permission. Modifier keys arrive there as plain
// key events; all of them except the hold key are ignored, as a change of
// modifier flags is.
class X11KeyMonitor final : public KeyMonitor {
    Q_OBJECT

public:
    explicit X11KeyMonitor(QObject* parent = nullptr);
    ~X11KeyMonitor() override;

    void setHoldKey(core::HoldKey key) override { m_holdKey = key; }
    core::HoldKey holdKey() const override { return m_holdKey; }

    core::Done<Error> start() override;
    void stop() override;

private:
    void readEvents();
    void loadModifierKeys();
    // Server time is in milliseconds and wraps after 49 days; widened here so
    // that a hold across the wrap keeps its true length.
    double seconds(unsigned long serverTime);

    core::HoldKey m_holdKey = core::HoldKey::standard;
    std::unique_ptr<X11Display> m_display;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_opcode = 0;
    // Bumped by stop, so that events read before it are not delivered after.
    std::uint64_t m_generation = 0;
    std::bitset<256> m_modifierKeys;
    // Keys seen going down and not yet up: a second press is a repeat.
    std::bitset<256> m_down;
    std::uint64_t m_timeEpoch = 0;
    unsigned long m_lastTime = 0;
};

} // namespace parlova::platform
