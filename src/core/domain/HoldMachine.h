#pragma once

namespace parlova::core {

// The hold-to-talk state machine. The key monitor and the dictation controller
// feed it events; every event is answered with exactly one command, so that all
// decisions about presses, releases, stray keys and timeouts are made here and
// the controller only carries them out.
//
// Time stamps are seconds on the key events' own monotonic clock; the machine
// only ever subtracts one from another and never reads a clock itself.
class HoldMachine {
public:
    // A shorter hold is an accidental tap and is dropped without a dictation.
    static constexpr double minimumHold = 0.3;
    // The longest take; the controller's timer sends maximumReached after it.
    static constexpr double maximumHold = 120.0;

    class Phase {
    public:
        enum class Kind {
            idle,    // nothing going on; a press may start a take
            holding, // the hold key is down and a take is being recorded
            busy,    // the take is being transcribed; waits for done
        };

        constexpr Phase() = default;
        static constexpr Phase idle() { return Phase(Kind::idle, 0.0); }
        static constexpr Phase holding(double since) { return Phase(Kind::holding, since); }
        static constexpr Phase busy() { return Phase(Kind::busy, 0.0); }

        constexpr Kind kind() const { return m_kind; }
        // Time stamp of the press that started the hold; 0 outside holding.
        constexpr double since() const { return m_since; }

        friend constexpr bool operator==(const Phase&, const Phase&) = default;

    private:
        constexpr Phase(Kind kind, double since)
            : m_kind(kind)
            , m_since(since) {}

        Kind m_kind = Kind::idle;
        double m_since = 0.0;
    };

    class Event {
    public:
        enum class Kind {
            keyDown,         // the hold key went down at time()
            keyUp,           // the hold key went up at time()
            otherKeyPressed, // a fresh press of any other key
            maximumReached,  // maximumHold has elapsed since listening started
            done,            // the controller has finished with the dictation
        };

        static constexpr Event keyDown(double at) { return Event(Kind::keyDown, at); }
        static constexpr Event keyUp(double at) { return Event(Kind::keyUp, at); }
        static constexpr Event otherKeyPressed() { return Event(Kind::otherKeyPressed, 0.0); }
        static constexpr Event maximumReached() { return Event(Kind::maximumReached, 0.0); }
        static constexpr Event done() { return Event(Kind::done, 0.0); }

        constexpr Kind kind() const { return m_kind; }
        // Time stamp of a key event; 0 for the others.
        constexpr double time() const { return m_time; }

        friend constexpr bool operator==(const Event&, const Event&) = default;

    private:
        constexpr Event(Kind kind, double time)
            : m_kind(kind)
            , m_time(time) {}

        Kind m_kind;
        double m_time;
    };

    enum class Command {
        none,
        startListening,
        cancelListening,
        stopAndTranscribe,
    };

    HoldMachine() = default;

    const Phase& phase() const { return m_phase; }

    // Moves to the next phase and says what the controller must do. Never fails.
    Command handle(const Event& event);

    friend bool operator==(const HoldMachine&, const HoldMachine&) = default;

private:
    Command release(double at);

    Phase m_phase;
};

} // namespace parlova::core
