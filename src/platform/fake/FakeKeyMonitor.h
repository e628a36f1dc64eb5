#pragma once

#include "platform/KeyMonitor.h"

namespace parlova::platform {

// A key monitor for controller tests: events are sent by the test.
class FakeKeyMonitor final : public KeyMonitor {
    Q_OBJECT

public:
    using KeyMonitor::KeyMonitor;

    void setHoldKey(core::HoldKey key) override { m_holdKey = key; }
    core::HoldKey holdKey() const override { return m_holdKey; }
    core::Done<Error> start() override {
        ++m_starts;
        m_running = true;
        return std::monostate{};
    }
    void stop() override { m_running = false; }

    void press(double at) { Q_EMIT event(core::HoldMachine::Event::keyDown(at)); }
    void release(double at) { Q_EMIT event(core::HoldMachine::Event::keyUp(at)); }
    void pressOtherKey() { Q_EMIT event(core::HoldMachine::Event::otherKeyPressed()); }

    int starts() const { return m_starts; }
    bool isRunning() const { return m_running; }

private:
    core::HoldKey m_holdKey = core::HoldKey::standard;
    int m_starts = 0;
    bool m_running = false;
};

} // namespace parlova::platform
