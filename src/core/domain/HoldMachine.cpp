#include "core/domain/HoldMachine.h"

namespace parlova::core {

namespace {

// Key time stamps arrive as milliseconds or microseconds turned into seconds,
// so a hold of exactly the minimum can come out a few ulps short once the two
// stamps are subtracted (1.4 - 1.1 < 0.3). Allow far less than any key clock
// can resolve, so that such a hold still counts as long enough.
constexpr double holdTolerance = 1e-7;

} // namespace

HoldMachine::Command HoldMachine::handle(const Event& event) {
    using Kind = Phase::Kind;
    switch (event.kind()) {
    case Event::Kind::keyDown:
        // Only a press in idle starts a take; a repeated press keeps the first stamp.
        if (m_phase.kind() != Kind::idle)
            return Command::none;
        m_phase = Phase::holding(event.time());
        return Command::startListening;
    case Event::Kind::keyUp:
        return release(event.time());
    case Event::Kind::otherKeyPressed:
        if (m_phase.kind() != Kind::holding)
            return Command::none;
        m_phase = Phase::idle();
        return Command::cancelListening;
    case Event::Kind::maximumReached:
        if (m_phase.kind() != Kind::holding)
            return Command::none;
        m_phase = Phase::busy();
        return Command::stopAndTranscribe;
    case Event::Kind::done:
        m_phase = Phase::idle();
        return Command::none;
    }
    return Command::none;
}

HoldMachine::Command HoldMachine::release(double at) {
    if (m_phase.kind() != Phase::Kind::holding)
        return Command::none;
    // Written so that a NaN stamp, like a release stamped before the press,
    // counts as a tap rather than a dictation.
    const double held = at - m_phase.since();
    if (held >= minimumHold - holdTolerance) {
        m_phase = Phase::busy();
        return Command::stopAndTranscribe;
    }
    m_phase = Phase::idle();
    return Command::cancelListening;
}

} // namespace parlova::core
