#include "core/HoldMachine.h"

#include <QTest>

#include <limits>
#include <vector>

using parlova::core::HoldMachine;
using Command = HoldMachine::Command;
using Event = HoldMachine::Event;
using Phase = HoldMachine::Phase;

namespace {

// One event and the command it must bring.
struct Step {
    Event event;
    Command command;
};
using Steps = std::vector<Step>;

} // namespace

Q_DECLARE_METATYPE(HoldMachine::Phase)
Q_DECLARE_METATYPE(Steps)

namespace parlova::core {

// Readable failures: the command and phase that came out.
char* toString(HoldMachine::Command command) {
    const char* names[] = {"none", "startListening", "cancelListening", "stopAndTranscribe"};
    return qstrdup(names[static_cast<int>(command)]);
}

char* toString(const HoldMachine::Phase& phase) {
    const char* names[] = {"idle", "holding since ", "busy"};
    QByteArray text = names[static_cast<int>(phase.kind())];
    if (phase.kind() == HoldMachine::Phase::Kind::holding)
        text += QByteArray::number(phase.since(), 'g', 17);
    return qstrdup(text.constData());
}

} // namespace parlova::core

class TestHoldMachine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void releaseDecidesByHoldDuration() {
        const auto take = Command::stopAndTranscribe;
        const auto tap = Command::cancelListening;
        const std::tuple<double, double, Command> rows[] = {
            {10.0, 10.3, take}, // exactly the minimum
            {1.1, 1.4, take},   // 1.4 - 1.1 is 0.29999999999999982 in binary floating point
            {345678.912, 345679.212, take}, // millisecond stamps after days of uptime
            {10.0, 10.299999, tap},
            {0.0, HoldMachine::maximumHold + 5.0, take},
            {10.0, 9.0, tap}, // released before the press
            {10.0, std::numeric_limits<double>::quiet_NaN(), tap},
        };
        for (const auto& [pressedAt, releasedAt, command] : rows) {
            HoldMachine machine;
            QCOMPARE(machine.handle(Event::keyDown(pressedAt)), Command::startListening);
            QCOMPARE(machine.handle(Event::keyUp(releasedAt)), command);
            QCOMPARE(machine.phase(), command == take ? Phase::busy() : Phase::idle());
            // A dropped tap leaves the machine ready for the next press at once.
            if (command == tap)
                QCOMPARE(machine.handle(Event::keyDown(pressedAt + 1.0)), Command::startListening);
        }
    }

    void sequences_data() {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Phase>("phase");
        const auto down = Event::keyDown;
        const auto up = Event::keyUp;
        const Event other = Event::otherKeyPressed(), maximum = Event::maximumReached(),
                    done = Event::done();
        const Command none = Command::none, start = Command::startListening,
                      cancel = Command::cancelListening, stop = Command::stopAndTranscribe;

        QTest::newRow("a fresh machine only starts on a press")
            << Steps{{up(3), none}, {other, none}, {maximum, none}, {done, none}, {down(3), start}}
            << Phase::holding(3.0);
        // Measured from the second press this would be a 0.15 s tap.
        QTest::newRow("a repeated press measures from the first")
            << Steps{{down(5), start}, {down(5.2), none}, {up(5.35), stop}} << Phase::busy();
        // Pressing during a transcription neither starts nor queues a take.
        QTest::newRow("busy ignores every key until done")
            << Steps{{down(1), start}, {up(2), stop},  {down(3), none},
                     {up(4), none},    {other, none},  {maximum, none},
                     {done, none},     {up(10), none}, {down(11), start}}
            << Phase::holding(11.0);
        // The release may come after the take has ended, even after its dictation.
        QTest::newRow("the maximum ends the take; the later release is ignored")
            << Steps{{down(100), start}, {maximum, stop}, {up(221), none},
                     {down(222), none},  {done, none},    {up(230), none}}
            << Phase::idle();
        // The hold key's own release, long after, must not turn into a dictation.
        QTest::newRow("another key cancels the hold")
            << Steps{{down(1), start}, {other, cancel}, {up(3), none}} << Phase::idle();
        // The controller refuses a take (signed out, no microphone) by answering done.
        QTest::newRow("done during the hold")
            << Steps{{down(1), start}, {done, none}, {up(2), none}} << Phase::idle();
    }

    void sequences() {
        QFETCH(Steps, steps);
        QFETCH(Phase, phase);
        HoldMachine machine;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const Command command = machine.handle(steps[i].event);
            QVERIFY2(command == steps[i].command, qPrintable(QStringLiteral("step %1").arg(i + 1)));
        }
        QCOMPARE(machine.phase(), phase);
    }
};

QTEST_GUILESS_MAIN(TestHoldMachine)
#include "tst_holdmachine.moc"
